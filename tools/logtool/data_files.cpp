#include "data_files.h"

#include <vector>

#include "Win/program_folder.h"
#include "crt_api.h"
#include "tool_error.h"

namespace suite {

namespace {

constexpr DWORD kCrtPathCapacity = 260;
constexpr int kCrtDataFolder = 4;

}  // namespace

std::wstring LibraryBesideTool() {
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) Fail(ExitStatus::kInternal, L"the tool cannot name its own folder");
  return folder + L"\\LogError.dll";
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (path.empty() || needed == 0) Fail(ExitStatus::kFile, Shown(path) + L" is not a path");
  std::vector<wchar_t> buffer(needed);
  const DWORD length = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) {
    Fail(ExitStatus::kFile, Shown(path) + L" is not a path");
  }
  return std::wstring(buffer.data(), length);
}

std::wstring DataFilePath(const wchar_t* name) {
  wchar_t buffer[kCrtPathCapacity] = {};
  if (!GetDataFilePath(name, buffer, kCrtPathCapacity, kCrtDataFolder, 0, 0) ||
      buffer[0] == L'\0') {
    Fail(ExitStatus::kFile, std::wstring(L"the data folder cannot be named for ") + name +
                                L" (check CRT_DATA_DIR or APPDATA; paths end at 259 characters)");
  }
  // crt.dll names a file in the folder even when the folder could not be
  // made: a file of that name, or no right to create it. Nothing in it could
  // then be read or written, which is not the same as finding nothing there.
  const std::wstring path = buffer;
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  const std::optional<FileFacts> facts = StatFile(folder);
  if (!facts || !facts->directory) {
    Fail(ExitStatus::kFile, L"the data folder " + folder +
                                (facts ? L" is a file, not a folder" : L" cannot be created") +
                                L" (check CRT_DATA_DIR or APPDATA)");
  }
  return path;
}

std::optional<FileFacts> StatFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  FileFacts facts;
  facts.size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  facts.lastWrite = data.ftLastWriteTime;
  facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return facts;
}

}  // namespace suite
