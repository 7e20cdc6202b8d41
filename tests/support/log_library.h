// Loads LogError.dll for one scenario (its process entry reads the data folder
// at load) and unloads it at the end, so each scenario sees a fresh attach.
#pragma once

#include <windows.h>

#include "LogError.h"
#include "unique_resource.h"

using LogFunction = void(WINAPI*)(HMODULE, LONG, LPCWSTR, LPCWSTR);

class LogLibrary {
 public:
  LogLibrary();
  bool loaded() const { return module_.valid(); }
  HMODULE module() const { return module_.get(); }
  FARPROC Proc(const char* name) const { return GetProcAddress(module_.get(), name); }
  void Unload() { module_.reset(); }

  LogFunction logError = nullptr;
  LogFunction logWarning = nullptr;
  LogFunction logException = nullptr;

 private:
  UniqueModule module_;
};
