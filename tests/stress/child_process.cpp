#include "child_process.h"

#include "Win/program_folder.h"

using namespace suite;

namespace stress {

ChildProcess ChildProcess::Start(const wchar_t* pszProgram, const std::wstring& arguments) {
  const std::wstring folder = ProgramFolder();
  std::wstring command = L"\"" + folder + L"\\" + pszProgram + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ChildProcess child;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &started)) {
    CloseHandle(started.hThread);
    child.process_.reset(started.hProcess);
  }
  return child;
}

bool ChildProcess::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Kill() {
  if (!process_) return false;
  const bool bCutShort = Running() && TerminateProcess(process_.get(), 0xDEAD);
  WaitForSingleObject(process_.get(), INFINITE);
  return bCutShort;
}

DWORD ChildProcess::Wait(DWORD nMilliseconds) const {
  DWORD code = STILL_ACTIVE;
  if (process_ && WaitForSingleObject(process_.get(), nMilliseconds) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process_.get(), &code);
  }
  return code;
}

std::wstring EndText(DWORD code) {
  return code == STILL_ACTIVE ? std::wstring(L"did not end")
                              : L"ended with code " + std::to_wstring(code);
}

}  // namespace stress
