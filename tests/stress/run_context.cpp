#include "run_context.h"

#include <cstdio>

#include "ComRegistration/com_registration.h"

using namespace suite;

namespace stress {

RunContext::RunContext()
    : reports_(folder_.File(L"reports")), accounts_(folder_.File(L"error.Profile")) {
  if (!CreateDirectoryW(reports_.c_str(), nullptr)) {
    error_ = L"cannot create " + reports_;
  } else if (!accounts_.held()) {
    error_ = L"cannot hold the writers' count of drops open";
  } else if (int failed = RegisterLogSender(ProgramFolder() + L"\\LogError.dll", false);
             failed != 0) {
    error_ = L"cannot register the sender class: error " + std::to_wstring(failed);
  }
}

RunContext::~RunContext() {
  if (!bKeep_) return;
  // Moved aside, the folder escapes the clean-up of TempDataFolder.
  const std::wstring kept = folder_.path() + L"-kept";
  if (MoveFileW(folder_.path().c_str(), kept.c_str())) PrintLine(L"files kept in " + kept);
}

Child RunContext::Start(const wchar_t* pszProgram, const std::wstring& arguments) {
  const std::wstring name = L"Local\\PlayerSuite.Stress." + std::to_wstring(GetCurrentProcessId()) +
                            L"." + std::to_wstring(++nBlocks_);
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
