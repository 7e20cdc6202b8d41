// Loads LogError.dll for one scenario (its process entry reads the data folder
// at load) and unloads it at the end, so each scenario sees a fresh attach.
#pragma once

#include <windows.h>

#include "LogError.h"
#include "Win/unique_resource.h"

// Test code takes the product's names as they are.
using namespace suite;

class LogLibrary {
 public:
  LogLibrary();
  bool loaded() const { return m_module.valid(); }
  HMODULE module() const { return m_module.get(); }
  FARPROC Proc(const char* name) const { return GetProcAddress(m_module.get(), name); }
  void Unload() { m_module.reset(); }

  PFN_LogError logError = nullptr;
  PFN_LogWarning logWarning = nullptr;
  PFN_LogException logException = nullptr;

 private:
  UniqueModule m_module;
};
