// Paths of the library beside the tool and of the suite's data folder, and
// file facts that the commands compare before and after an operation.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace suite {

// LogError.dll in the folder that holds logtool.exe (crt.dll lies there too).
// Fails with kInternal when the tool cannot name its own folder.
std::wstring LibraryBesideTool();

// The full form of a path as given on the command line; fails with kFile.
std::wstring FullPath(const std::wstring& path);

// `name` in the suite's data folder, as crt.dll names it (the same call the
// library makes). Fails with kFile when crt.dll cannot name it, or when the
// data folder is a file or could not be created.
std::wstring DataFilePath(const wchar_t* name);

struct FileFacts {
  ULONGLONG size = 0;
  FILETIME lastWrite = {};
  bool directory = false;
};
// Nothing when the path names no file or folder.
std::optional<FileFacts> StatFile(const std::wstring& path);

}  // namespace suite
