// A scenario's own data folder: a fresh folder under the temp path, named
// after the process and a random part, made the utility library's data
// folder (CRT_DATA_DIR) while it lives, and removed afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Win/program_folder.h"

class TempDataFolder {
 public:
  TempDataFolder();
  ~TempDataFolder();
  TempDataFolder(const TempDataFolder&) = delete;
  TempDataFolder& operator=(const TempDataFolder&) = delete;

  const std::wstring& path() const { return m_path; }
  std::wstring File(const wchar_t* name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
  std::wstring m_previous;
  bool m_hadPrevious = false;
};

// Whole-file helpers for assertions.
std::vector<unsigned char> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// Settings of the data folder's "settings.ini", read and written directly.
std::wstring ReadIni(const std::wstring& folder, const wchar_t* section, const wchar_t* key);
void WriteIni(const std::wstring& folder, const wchar_t* section, const wchar_t* key,
              const wchar_t* value);

// Today's local date as the system stores it ("%d.%02d.%02d").
std::wstring TodayText();

// Runs `program` (a file of ProgramFolder()) with `arguments`, in the current
// environment; its exit code, or 0xFFFFFFFF when it could not run.
DWORD RunProgram(const wchar_t* program, const std::wstring& arguments = L"");
