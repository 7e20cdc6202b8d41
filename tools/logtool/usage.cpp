#include "commands.h"

namespace suite {

const wchar_t* UsageText() {
  return LR"(usage: logtool COMMAND [OPTIONS]

  log --kind error|warning|exception [--code N] [--value TEXT] [--module PATH] [--] MESSAGE
      Appends one record through LogError.dll beside the tool, as a module of
      the suite does. --code is a 32-bit whole number; 0 or none gives the
      kind's default (error 20000, warning 10000, exception 30000). --module
      names the module the record is from (its name and file version are
      recorded; its code does not run); without it, the record names logtool.
  report [--folder DIR]
      Without --folder: prints the report a sending client would get now
      (UTF-8 text, one XML document per product version). The day's
      records in error.Profile join it only after the next roll-over, at
      the library's first load on a later day.
      With --folder: saves LogError_<product version>.xml into the folder,
      whether or not sending is permitted now, and lists the files written.
      The files hold each document on one line, as the DOM's save writes
      it; under Wine the printed text is indented (Wine's DOM indents its
      xml text, Windows' does not). Both parse to the same elements.
  send --url URL [--timeout SECONDS]
      Uploads the report with an HTTP POST (application/xml; charset=utf-8,
      with an Idempotency-Key header: the hex SHA-256 of the body) and, on a
      2xx answer from the URL itself, marks it sent, which removes the
      reported records. Redirects are not followed. https only; plain http
      only to loopback addresses (127.0.0.0/8, ::1, localhost). Proxies: the
      user's Internet settings, never for loopback. Each network step waits
      at most SECONDS (1 to 3600, default 30).
  config get SECTION KEY
  config set SECTION KEY VALUE
  config unset SECTION KEY
      Reads or changes settings.ini of the data folder, the settings the
      library uses: e.g. `config set LogControl SendError 0` stops sending.
  dump FILE [--json]         Prints every record of a log file with every field,
                             and every damaged span skipped (offset, length,
                             reason: damaged file header, damaged, or a
                             cut-off tail, "torn tail" in JSON),
                             as text or as JSON Lines (--json: one object per
                             record, per skipped span and a closing summary).
  register [--user] [DLL]    Registers the sender class, machine-wide unless
                             --user. DLL: the copy the suite's programs load
                             (in its program folder, or the shared folder its
                             installer uses), not the SDK's bin; without DLL,
                             LogError.dll beside this logtool. Wine sees only
                             machine-wide classes: --user warns there.
  unregister [--user] [DLL]  Removes that registration if it names DLL.
  help                       This text.

The data folder is %CRT_DATA_DIR% when set, else %APPDATA%\PlayerSuite.
report and send load the sender object into this process: use the logtool of
the suite's bitness (the 32-bit logtool for a 32-bit suite), registered with
that same logtool.

Exit status:
  0  success
  1  unexpected failure (out of memory, a platform service missing)
  2  usage: unknown command or option, missing or malformed value, refused URL
  3  a file or folder cannot be read or written (the data folder, settings,
     module, report folder, pending log, standard output); the system's
     reason follows
  4  LogError.dll cannot be loaded, or the sender class is not registered or
     cannot be created, or registration failed
  5  nothing to do: no pending records, sending not permitted now, or the
     setting is not set
  6  network: no connection, name not resolved, TLS failure, timeout
  7  the server answered, but not with 2xx (redirects included); nothing was
     marked sent
  8  dump: the file is damaged; the skipped spans are listed
  9  dump: the file is empty, holds no record and no file header (not a
     log), or is a log of another format
  10 unregister: the class is registered to another copy of the library
     (its path is named), whose registration is left alone
)";
}

}  // namespace suite
