#include "log_library.h"

#include "proc_address.h"
#include "temp_data_folder.h"

LogLibrary::LogLibrary() {
  module_.reset(LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str()));
  if (!module_) return;
  logError = ProcAs<LogFunction>(module_.get(), "LogError");
  logWarning = ProcAs<LogFunction>(module_.get(), "LogWarning");
  logException = ProcAs<LogFunction>(module_.get(), "LogException");
}
