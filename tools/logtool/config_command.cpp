// `logtool config`: the settings that the library reads and writes, in the
// one settings.ini that crt.dll names.
#include <windows.h>

#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "settings_file.h"
#include "tool_error.h"

namespace suite {

namespace {

bool HasAny(const std::wstring& text, const wchar_t* characters) {
  return text.find_first_of(characters) != std::wstring::npos;
}

bool HasOuterSpace(const std::wstring& text) {
  return !text.empty() && (iswspace(text.front()) || iswspace(text.back()));
}

// The profile format is line-based: a line break in any part would write a
// second key or section that nobody asked for, and brackets, '=' and ';'
// would change how the line is read back.
void CheckNames(const CommandLine& line, const std::wstring& section, const std::wstring& key) {
  if (section.empty() || HasAny(section, L"[]\r\n") || HasOuterSpace(section)) {
    line.UsageError(L"the section " + Shown(section) +
                    L" cannot be used (empty, brackets, line breaks or outer spaces)");
  }
  if (key.empty() || HasAny(key, L"=\r\n") || key.front() == L';' || key.front() == L'[' ||
      HasOuterSpace(key)) {
    line.UsageError(L"the key " + Shown(key) +
                    L" cannot be used (empty, '=', line breaks, outer spaces, or a leading ';' "
                    L"or '[')");
  }
}

void CheckValue(const CommandLine& line, const std::wstring& value) {
  if (HasAny(value, L"\r\n") || HasOuterSpace(value)) {
    line.UsageError(L"the value cannot hold line breaks or outer spaces");
  }
}

int Get(const std::wstring& section, const std::wstring& key) {
  const std::wstring file = SettingsFilePath();
  const std::optional<std::wstring> value = ReadSetting(file, section, key);
  if (!value)
    Fail(ExitStatus::kNothing, Shown(L"[" + section + L"] " + key) + L" is not set in " + file);
  if (!WriteLine(STD_OUTPUT_HANDLE, *value)) {
    Fail(ExitStatus::kFile, L"the value cannot be written to standard output");
  }
  return 0;
}

int Set(const CommandLine& line, const std::wstring& section, const std::wstring& key,
        const std::wstring& value) {
  CheckValue(line, value);
  const std::wstring file = SettingsFilePath();
  WriteSetting(file, section, key, value.c_str());
  // The profile API strips quotes and writes the file in the code page it
  // finds; what the library will read is what counts.
  const std::optional<std::wstring> stored = ReadSetting(file, section, key);
  if (stored != value) {
    Fail(ExitStatus::kFile, Shown(L"[" + section + L"] " + key) + L" in " + file +
                                L" does not read back as written (it reads " +
                                Shown(stored.value_or(L"")) + L")");
  }
  return 0;
}

int Unset(const std::wstring& section, const std::wstring& key) {
  WriteSetting(SettingsFilePath(), section, key, nullptr);
  return 0;
}

}  // namespace

int ConfigCommand(std::span<const std::wstring> args) {
  const CommandLine line(L"config", args, {});
  const std::vector<std::wstring>& words = line.Positionals();
  if (words.empty()) line.UsageError(L"get, set or unset is missing");
  const std::wstring& action = words[0];
  const std::size_t wanted = action == L"set" ? 4 : 3;
  if (action != L"get" && action != L"set" && action != L"unset") {
    line.UsageError(L"unknown action " + Shown(action) + L" (get, set or unset)");
  }
  line.ExpectPositionals(wanted, wanted,
                         action == L"set" ? L"SECTION, KEY or VALUE" : L"SECTION or KEY");
  const std::wstring& section = words[1];
  const std::wstring& key = words[2];
  CheckNames(line, section, key);
  if (action == L"get") return Get(section, key);
  if (action == L"set") return Set(line, section, key, words[3]);
  return Unset(section, key);
}

}  // namespace suite
