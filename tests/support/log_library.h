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
  bool loaded() const { return module_.valid(); }
  HMODULE module() const { return module_.get(); }
  FARPROC Proc(const char* name) const { return GetProcAddress(module_.get(), name); }
  void Unload() { module_.reset(); }

  PFN_LogError logError = nullptr;
  PFN_LogWarning logWarning = nullptr;
  PFN_LogException logException = nullptr;

 private:
  UniqueModule module_;
};
