#include "log_library.h"

#include "Win/proc_address.h"
#include "temp_data_folder.h"

using namespace suite;

LogLibrary::LogLibrary() {
  module_.reset(LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str()));
  if (!module_) return;
  logError = ProcAs<PFN_LogError>(module_.get(), "LogError");
  logWarning = ProcAs<PFN_LogWarning>(module_.get(), "LogWarning");
  logException = ProcAs<PFN_LogException>(module_.get(), "LogException");
}
