#include "temp_data_folder.h"

#include <cstdio>
#include <random>

#include "Win/date_text.h"

using namespace suite;

TempDataFolder::TempDataFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::random_device random;
  wchar_t name[64];
  swprintf(name, 64, L"logerror-%lu-%08x", GetCurrentProcessId(), random());
  m_path = std::wstring(temp) + name;
  CreateDirectoryW(m_path.c_str(), nullptr);
  wchar_t old[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(L"CRT_DATA_DIR", old, MAX_PATH * 2);
  m_hadPrevious = length > 0 && length < MAX_PATH * 2;
  if (m_hadPrevious) m_previous = old;
  SetEnvironmentVariableW(L"CRT_DATA_DIR", m_path.c_str());
}

TempDataFolder::~TempDataFolder() {
  SetEnvironmentVariableW(L"CRT_DATA_DIR", m_hadPrevious ? m_previous.c_str() : nullptr);
  RemoveTree(m_path);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
  }
  CloseHandle(file);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ReadIni(const std::wstring& folder, const wchar_t* section, const wchar_t* key) {
  wchar_t value[512] = {};
  GetPrivateProfileStringW(section, key, L"", value, 512, (folder + L"\\settings.ini").c_str());
  return value;
}

void WriteIni(const std::wstring& folder, const wchar_t* section, const wchar_t* key,
              const wchar_t* value) {
  WritePrivateProfileStringW(section, key, value, (folder + L"\\settings.ini").c_str());
}

std::wstring TodayText() { return TodayDateText().text; }

DWORD RunProgram(const wchar_t* program, const std::wstring& arguments) {
  std::wstring command = L"\"" + ProgramFolder() + L"\\" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  // A start that fails on a loaded machine is tried again: the scenario, not
  // the machine's load, is what a test judges.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             ProgramFolder().c_str(), &startup, &process) != FALSE;
  }
  if (!started) return 0xFFFFFFFF;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
