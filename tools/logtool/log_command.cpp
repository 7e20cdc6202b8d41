// `logtool log`: one record, written the way a module of the suite writes it,
// through LogError.dll loaded at run time from the tool's own folder.
#include <windows.h>

#include <cstdint>
#include <string>

#include "LogError.h"
#include "Win/proc_address.h"
#include "Win/unique_resource.h"
#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "data_files.h"
#include "tool_error.h"

namespace suite {

namespace {

struct KindEntry {
  const wchar_t* name;
  const char* exportName;
  long defaultCode;
};

constexpr KindEntry kKinds[] = {
    {L"error", "LogError", 20000},
    {L"warning", "LogWarning", 10000},
    {L"exception", "LogException", 30000},
};

const KindEntry& KindNamed(const CommandLine& line) {
  const std::optional<std::wstring> kind = line.Value(L"--kind");
  if (!kind) line.UsageError(L"--kind error|warning|exception is missing");
  for (const KindEntry& entry : kKinds) {
    if (*kind == entry.name) return entry;
  }
  line.UsageError(L"--kind must be error, warning or exception, not " + Shown(*kind));
}

LONG CodeGiven(const CommandLine& line) {
  const std::optional<std::wstring> text = line.Value(L"--code");
  if (!text) return 0;
  const std::optional<std::int64_t> code = ParseInteger(*text, INT32_MIN, INT32_MAX);
  if (!code) line.UsageError(L"--code must be a whole number of 32 bits, not " + Shown(*text));
  return static_cast<LONG>(*code);
}

// The library asks the platform for the module's path and base name, which
// only a module in the process's loader list has; a data-file mapping is not
// one. The module's own code (its entry point, its imports) must not run in
// an operator's tool, hence no plain LoadLibraryW.
UniqueModule LoadNamedModule(const std::wstring& path) {
  const std::wstring fullPath = FullPath(path);
  const std::optional<FileFacts> facts = StatFile(fullPath);
  if (!facts || facts->directory) Fail(ExitStatus::kFile, L"no module file " + fullPath);
  UniqueModule module;
  module.reset(LoadLibraryExW(fullPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  if (!module) {
    const DWORD error = GetLastError();
    Fail(ExitStatus::kFile,
         L"cannot load " + fullPath + L" as a module: " + SystemErrorText(error));
  }
  return module;
}

ULONGLONG SizeOf(const std::wstring& path) {
  const std::optional<FileFacts> facts = StatFile(path);
  return facts ? facts->size : 0;
}

}  // namespace

int LogCommand(std::span<const std::wstring> args) {
  static constexpr OptionSpec kOptions[] = {
      {L"--kind", true}, {L"--code", true}, {L"--value", true}, {L"--module", true}};
  const CommandLine line(L"log", args, kOptions);
  line.ExpectPositionals(1, 1, L"the message");
  const KindEntry& kind = KindNamed(line);
  const LONG code = CodeGiven(line);
  const std::wstring& message = line.Positionals()[0];
  const std::optional<std::wstring> value = line.Value(L"--value");

  const std::wstring libraryPath = LibraryBesideTool();
  UniqueModule library;
  library.reset(LoadLibraryW(libraryPath.c_str()));
  if (!library) {
    const DWORD error = GetLastError();
    Fail(ExitStatus::kLibrary, L"cannot load " + libraryPath + L": " + SystemErrorText(error));
  }
  const auto write = ProcAs<PFN_LogError>(library.get(), kind.exportName);
  if (write == nullptr) {
    Fail(ExitStatus::kLibrary,
         libraryPath + L" does not export the entry point for " + kind.name + L" records");
  }
  UniqueModule module;
  if (const std::optional<std::wstring> modulePath = line.Value(L"--module")) {
    module = LoadNamedModule(*modulePath);
  }

  // The library never says whether a record was written; the active log
  // growing does. Loading it above already ran any roll-over of the day.
  const std::wstring activeLog = DataFilePath(L"error.Profile");
  const ULONGLONG before = SizeOf(activeLog);
  write(module.get(), code, message.c_str(), value ? value->c_str() : nullptr);
  if (SizeOf(activeLog) <= before) {
    Fail(ExitStatus::kFile,
         L"the record was not written to " + activeLog + L" (the file is busy or not writable)");
  }
  WriteLine(STD_OUTPUT_HANDLE, std::wstring(L"logged ") + kind.name + L" " +
                                   std::to_wstring(code != 0 ? code : kind.defaultCode) + L" in " +
                                   activeLog);
  return 0;
}

}  // namespace suite
