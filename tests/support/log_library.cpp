#include "log_library.h"

#include "Win/proc_address.h"
#include "temp_data_folder.h"

using namespace suite;

LogLibrary::LogLibrary() {
  m_module.reset(LoadLibraryW((ProgramFolder() + L"\\LogError.dll").c_str()));
  if (!m_module) return;
  logError = ProcAs<PFN_LogError>(m_module.get(), "LogError");
  logWarning = ProcAs<PFN_LogWarning>(m_module.get(), "LogWarning");
  logException = ProcAs<PFN_LogException>(m_module.get(), "LogException");
}
