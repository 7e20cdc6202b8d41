// A child program of a stress run: started from the driver's own folder with
// the driver's environment (and so its data folder), and owned until it ends.
#pragma once

#include <windows.h>

#include <string>

#include "Win/unique_resource.h"

namespace stress {

using namespace suite;

class ChildProcess {
 public:
  // Empty when the program could not be started.
  static ChildProcess Start(const wchar_t* pszProgram, const std::wstring& arguments);

  bool valid() const { return m_process.valid(); }
  bool Running() const;
  // Ends it at once, as a crash or a user would, and waits until it is gone,
  // so that its files and mutexes are let go when this returns. True when it
  // was still running, i.e. the kill cut something short.
  bool Kill();
  // Its exit code, or STILL_ACTIVE when it has not ended within the time.
  DWORD Wait(DWORD nMilliseconds) const;

 private:
  UniqueKernelHandle m_process;
};

// "did not end" or "ended with code N", for messages.
std::wstring EndText(DWORD code);

}  // namespace stress
