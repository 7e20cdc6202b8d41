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
    child.m_process.reset(started.hProcess);
  }
  return child;
}

bool ChildProcess::Running() const {
  return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Kill() {
  if (!m_process) return false;
  const bool bCutShort = Running() && TerminateProcess(m_process.get(), 0xDEAD);
  WaitForSingleObject(m_process.get(), INFINITE);
  return bCutShort;
}

DWORD ChildProcess::Wait(DWORD nMilliseconds) const {
  DWORD code = STILL_ACTIVE;
  if (m_process && WaitForSingleObject(m_process.get(), nMilliseconds) == WAIT_OBJECT_0) {
    GetExitCodeProcess(m_process.get(), &code);
  }
  return code;
}

std::wstring EndText(DWORD code) {
  return code == STILL_ACTIVE ? std::wstring(L"did not end")
                              : L"ended with code " + std::to_wstring(code);
}

}  // namespace stress
