#include "run_context.h"

#include <cstdio>

#include "ComRegistration/com_registration.h"

using namespace suite;

namespace stress {

RunContext::RunContext()
    : m_reports(m_folder.File(L"reports")), m_accounts(m_folder.File(L"error.Profile")) {
  if (!CreateDirectoryW(m_reports.c_str(), nullptr)) {
    m_error = L"cannot create " + m_reports;
  } else if (!m_accounts.held()) {
    m_error = L"cannot hold the writers' count of drops open";
  } else if (int failed = RegisterLogSender(ProgramFolder() + L"\\LogError.dll", false);
             failed != 0) {
    m_error = L"cannot register the sender class: error " + std::to_wstring(failed);
  }
}

RunContext::~RunContext() {
  if (!m_bKeep) return;
  // Moved aside, the folder escapes the clean-up of TempDataFolder.
  const std::wstring kept = m_folder.path() + L"-kept";
  if (MoveFileW(m_folder.path().c_str(), kept.c_str())) PrintLine(L"files kept in " + kept);
}

Child RunContext::Start(const wchar_t* pszProgram, const std::wstring& arguments) {
  const std::wstring name = L"Local\\PlayerSuite.Stress." + std::to_wstring(GetCurrentProcessId()) +
                            L"." + std::to_wstring(++m_nBlocks);
  Child child;
  child.blockName = name;
  child.block = ChildBlockMapping::Create(name);
  if (child.block) child.process = ChildProcess::Start(pszProgram, name + L" " + arguments);
  return child;
}

void PrintLine(const std::wstring& text) {
  const std::wstring line = text + L"\n";
  const int nBytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(nBytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), narrow.data(),
                      nBytes, nullptr, nullptr);
  fwrite(narrow.data(), 1, narrow.size(), stdout);
  fflush(stdout);
}

}  // namespace stress
