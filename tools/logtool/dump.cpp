// `logtool dump FILE [--json]`: every record of a log file with every field,
// and every damaged span the walk skipped, as text for a person or as JSON
// Lines for a script.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "format/log_accounts.h"
#include "format/log_format.h"
#include "format/log_record_walk.h"
#include "log_file_read.h"
#include "tool_error.h"

namespace suite {

namespace {

const wchar_t* KindName(std::uint32_t nKind) {
  switch (nKind) {
    case 1:
      return L"Error";
    case 2:
      return L"Warning";
    case 3:
      return L"Exception";
    default:
      return L"Unknown";
  }
}

// A person reads the text form; scripts match the JSON form's reasons.
const wchar_t* SkipReason(LogSkipKind kind, bool forJson) {
  switch (kind) {
    case LogSkipKind::FileHeader:
      return L"damaged file header";
    case LogSkipKind::TornTail:
      // The file ends inside a record: a writer stopped in the middle of it.
      return forJson ? L"torn tail" : L"cut-off tail (the file ends inside a record)";
    case LogSkipKind::Damaged:
      break;
  }
  return L"damaged";
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

const wchar_t* AccountName(LogAccountCause cause) {
  switch (cause) {
    case LogAccountCause::DayLogCap:
      return L"cap";
    case LogAccountCause::WriterDrops:
      return L"dropped";
    case LogAccountCause::PendingFull:
      return L"pending-full";
    case LogAccountCause::TornRecord:
      break;
  }
  return L"torn";
}

// How many records an account record says were not kept, when it is one.
struct Account {
  LogAccountCause cause;
  std::optional<std::uint64_t> nNotKept;
};
std::optional<Account> AccountOf(const LogRecordView& r) {
  const std::optional<LogAccountCause> cause = LogAccountCauseOf(r);
  if (!cause) return std::nullopt;
  return Account{*cause, LogAccountRecordsNotKept(*cause, r.bHasValue ? r.value : u"")};
}

// A log text as a JSON string's contents: backslash, quote and every control
// character escaped, the C1 block and DEL too, so that no text from a log can
// start a line or a terminal sequence of its own where it is shown.
std::wstring Escaped(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += c;
    } else if (c < L' ' || (c >= 0x7F && c <= 0x9F)) {
      wchar_t escaped[8];
      swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}
std::wstring Escaped(std::u16string_view text) { return Escaped(std::wstring_view(Wide(text))); }

template <typename Text>
std::wstring Json(Text text) {
  return L"\"" + Escaped(text) + L"\"";
}

// "name version", or the name alone when the record holds no version.
std::wstring NameAndVersion(std::u16string_view name, std::u16string_view version) {
  return version.empty() ? Escaped(name) : Escaped(name) + L" " + Escaped(version);
}

// One line per record, per skipped span and for the whole file, in file
// order: each printer writes the three kinds in its own form.
class TextPrinter {
 public:
  std::wstring Record(size_t index, const LogRecordView& r) const {
    std::wstring line = L"  #" + std::to_wstring(index) + L" @" + std::to_wstring(r.nOffset) +
                        L" " + KindName(r.nKind) + L" code=" + std::to_wstring(r.nErrorCode) +
                        L" product=" + Escaped(r.productVersion) + L" app=" +
                        NameAndVersion(r.appName, r.appVersion) + L" module=" +
                        NameAndVersion(r.moduleName, r.moduleVersion) + L"\n      message=" +
                        Json(r.message);
    if (r.bHasValue) line += L" value=" + Json(r.value);
    if (const std::optional<Account> account = AccountOf(r)) {
      line +=
          L"\n      account of records not kept (" + std::wstring(AccountName(account->cause)) +
          L"): " +
          (account->nNotKept ? std::to_wstring(*account->nNotKept) : std::wstring(L"unreadable"));
    }
    return line;
  }
  std::wstring Skipped(const LogSkippedSpan& s) const {
    return L"  skipped " + std::to_wstring(s.nBytes) + L" byte(s) at offset " +
           std::to_wstring(s.nOffset) + L" to " + std::to_wstring(s.nOffset + s.nBytes) + L": " +
           SkipReason(s.kind, false);
  }
  std::wstring Summary(const std::wstring& path, size_t bytes, const LogRecordWalk& walk) const {
    return L"  " + std::to_wstring(walk.RecordCount()) + L" record(s) in " + path + L" (" +
           std::to_wstring(bytes) + L" bytes); " + std::to_wstring(walk.SkippedSpanCount()) +
           L" damaged span(s), " + std::to_wstring(walk.SkippedByteCount()) + L" byte(s) skipped";
  }
};

// null for an ordinary record; for an account, its cause and the records it
// says were not kept (null when its value text is not of its cause's form).
std::wstring AccountJson(const LogRecordView& r) {
  const std::optional<Account> account = AccountOf(r);
  if (!account) return L"null";
  return L"{\"cause\":\"" + std::wstring(AccountName(account->cause)) + L"\",\"code\":" +
         std::to_wstring(static_cast<int>(account->cause)) + L",\"recordsNotKept\":" +
         (account->nNotKept ? std::to_wstring(*account->nNotKept) : std::wstring(L"null")) + L"}";
}

class JsonPrinter {
 public:
  std::wstring Record(size_t index, const LogRecordView& r) const {
    return L"{\"type\":\"record\",\"index\":" + std::to_wstring(index) + L",\"offset\":" +
           std::to_wstring(r.nOffset) + L",\"bytes\":" + std::to_wstring(r.nBytes) + L",\"kind\":" +
           Json(std::wstring_view(KindName(r.nKind))) + L",\"kindValue\":" +
           std::to_wstring(r.nKind) + L",\"code\":" + std::to_wstring(r.nErrorCode) +
           L",\"productVersion\":" + Json(r.productVersion) + L",\"appName\":" + Json(r.appName) +
           L",\"appVersion\":" + Json(r.appVersion) + L",\"moduleName\":" + Json(r.moduleName) +
           L",\"moduleVersion\":" + Json(r.moduleVersion) + L",\"message\":" + Json(r.message) +
           L",\"value\":" + (r.bHasValue ? Json(r.value) : std::wstring(L"null")) +
           L",\"account\":" + AccountJson(r) + L"}";
  }
  std::wstring Skipped(const LogSkippedSpan& s) const {
    return L"{\"type\":\"skipped\",\"offset\":" + std::to_wstring(s.nOffset) + L",\"bytes\":" +
           std::to_wstring(s.nBytes) + L",\"reason\":" +
           Json(std::wstring_view(SkipReason(s.kind, true))) + L"}";
  }
  std::wstring Summary(const std::wstring& path, size_t bytes, const LogRecordWalk& walk) const {
    return L"{\"type\":\"summary\",\"file\":" + Json(std::wstring_view(path)) + L",\"bytes\":" +
           std::to_wstring(bytes) + L",\"records\":" + std::to_wstring(walk.RecordCount()) +
           L",\"skippedSpans\":" + std::to_wstring(walk.SkippedSpanCount()) +
           L",\"skippedBytes\":" + std::to_wstring(walk.SkippedByteCount()) + L"}";
  }
};

// Without a known file header, the walk's first step skips up to the first
// record; when that step covers the whole file, nothing in it is a log's.
bool HoldsNoRecord(const LogRecordWalk& walk, std::size_t nBytes) {
  if (walk.FileState() != LogFileState::Damaged) return false;
  LogRecordWalk probe = walk;
  LogRecordView record;
  return probe.Next(record) == LogWalkStep::Skipped && probe.SkippedSpan().nBytes == nBytes;
}

template <typename Printer>
int Dump(const std::wstring& path, const Printer& printer) {
  const std::vector<std::uint8_t> bytes = ReadLogFile(path);
  LogRecordWalk walk(bytes.data(), bytes.size());
  if (walk.FileState() == LogFileState::Foreign) {
    LogFileHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    Fail(ExitStatus::kNotALog, Shown(path) + L" is a log of another format (version " +
                                   std::to_wstring(header.Version) + L", revision " +
                                   std::to_wstring(header.Revision) + L"): not read");
  }
  if (bytes.empty() || walk.FileState() == LogFileState::Unusable) {
    Fail(ExitStatus::kNotALog, Shown(path) + L" is empty: not a log");
  }
  if (HoldsNoRecord(walk, bytes.size())) {
    Fail(ExitStatus::kNotALog, Shown(path) +
                                   L" is not a log: no file header and no record in its " +
                                   std::to_wstring(bytes.size()) + L" bytes");
  }
  LogRecordView record;
  LogWalkStep step;
  while ((step = walk.Next(record)) != LogWalkStep::End) {
    const std::wstring line = step == LogWalkStep::Skipped
                                  ? printer.Skipped(walk.SkippedSpan())
                                  : printer.Record(walk.RecordCount(), record);
    if (!WriteLine(STD_OUTPUT_HANDLE, line)) {
      Fail(ExitStatus::kFile, L"standard output cannot be written");
    }
  }
  WriteLine(STD_OUTPUT_HANDLE, printer.Summary(path, bytes.size(), walk));
  return walk.SkippedSpanCount() == 0 ? 0 : static_cast<int>(ExitStatus::kDamaged);
}

}  // namespace

int DumpCommand(std::span<const std::wstring> args) {
  static constexpr OptionSpec kOptions[] = {{L"--json", false}};
  const CommandLine line(L"dump", args, kOptions);
  line.ExpectPositionals(1, 1, L"the log file");
  const std::wstring& path = line.Positionals()[0];
  return line.Has(L"--json") ? Dump(path, JsonPrinter()) : Dump(path, TextPrinter());
}

}  // namespace suite
