// logtool: the error log's command-line tool for operators and installers.
// `logtool help` lists the commands and the exit statuses.
#include <windows.h>

#include <exception>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "ComRegistration/com_registration.h"
#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "data_files.h"
#include "tool_error.h"
#include "wine_host.h"

namespace suite {

namespace {

int PrintUsage(DWORD stream, int status) {
  WriteText(stream, UsageText());
  return status;
}

int RegistrationCommand(const std::wstring& command, std::span<const std::wstring> args) {
  static constexpr OptionSpec kOptions[] = {{L"--user", false}};
  const CommandLine line(command.c_str(), args, kOptions);
  line.ExpectPositionals(0, 1, L"");
  const bool perUser = line.Has(L"--user");
  const std::wstring library =
      line.Positionals().empty() ? LibraryBesideTool() : line.Positionals()[0];
  const bool registering = command == L"register";
  std::wstring otherCopy;
  const int error = registering ? RegisterLogSender(library, perUser)
                                : UnregisterLogSender(library, perUser, &otherCopy);
  const std::wstring scope = perUser ? L"the current user" : L"the machine";
  if (error == ERROR_FILE_NOT_FOUND && registering) {
    Fail(ExitStatus::kFile, L"register: no library file " + library);
  }
  if (error == ERROR_BAD_EXE_FORMAT && registering) {
    Fail(ExitStatus::kFile, L"register: " + library + L" is not an x86 or x64 library");
  }
  if (error == kRegisteredElsewhere && !registering) {
    Fail(ExitStatus::kOtherCopy, L"unregister: the class is registered for " + scope +
                                     L" to another copy of the library, " + otherCopy +
                                     L"; left alone (unregister that path to remove it)");
  }
  if (error == ERROR_ACCESS_DENIED) {
    Fail(ExitStatus::kLibrary,
         command + L": access denied for " + scope + L" (run as administrator, or use --user)");
  }
  if (error != 0) {
    Fail(ExitStatus::kLibrary,
         command + L" for " + scope + L" failed: " + SystemErrorText(static_cast<DWORD>(error)));
  }
  WriteLine(STD_OUTPUT_HANDLE,
            registering ? L"registered the sender class for " + scope + L": " + FullPath(library)
                        : L"removed the sender class's registration for " + scope);
  if (registering && perUser && RunsUnderWine()) {
    // Written, and right for Windows; but COM here would never find it.
    WriteLine(STD_ERROR_HANDLE,
              L"logtool: warning: this is Wine, which looks COM classes up only under the "
              L"machine's key (HKLM): programs here will not see this per-user registration; "
              L"register without --user (as administrator) for them");
  }
  return 0;
}

int Run(const std::vector<std::wstring>& args) {
  if (args.empty()) return PrintUsage(STD_ERROR_HANDLE, static_cast<int>(ExitStatus::kUsage));
  const std::wstring& command = args[0];
  const std::span<const std::wstring> rest(args.data() + 1, args.size() - 1);
  if (command == L"help" || command == L"--help" || command == L"-h" || command == L"/?") {
    return PrintUsage(STD_OUTPUT_HANDLE, 0);
  }
  if (command == L"log") return LogCommand(rest);
  if (command == L"report") return ReportCommand(rest);
  if (command == L"send") return SendCommand(rest);
  if (command == L"config") return ConfigCommand(rest);
  if (command == L"register" || command == L"unregister") return RegistrationCommand(command, rest);
  if (command == L"dump") return DumpCommand(rest);
  Fail(ExitStatus::kUsage, L"unknown command " + Shown(command) + L" (see logtool help)");
}

int Report(ExitStatus status, const std::wstring& message) noexcept {
  try {
    std::wstring line = L"logtool: " + message;
    // One line, whatever a path or a server put into the message.
    for (wchar_t& c : line) {
      if (c < L' ') c = L' ';
    }
    WriteLine(STD_ERROR_HANDLE, line);
  } catch (...) {
    // The status still tells what happened.
  }
  return static_cast<int>(status);
}

}  // namespace

}  // namespace suite

using namespace suite;

int wmain(int argc, wchar_t** argv) {
  // A missing module is this tool's error to report, not a dialog's.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  try {
    return Run(std::vector<std::wstring>(argv + 1, argv + argc));
  } catch (const ToolError& error) {
    return Report(error.status(), error.message());
  } catch (const std::bad_alloc&) {
    return Report(ExitStatus::kInternal, L"out of memory");
  } catch (const std::exception&) {
    return Report(ExitStatus::kInternal, L"unexpected failure");
  } catch (...) {
    return Report(ExitStatus::kInternal, L"unexpected failure");
  }
}
