// Loads LogError.dll once, which is all a program of the suite does to roll
// the log over on a new day: the process entry merges error.Profile into
// error.bf when the stored date is not today's.
//
//   stress_loader BLOCK
#include <windows.h>

#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "child_block.h"
#include "child_process.h"

using namespace suite;

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  stress::ChildBlockMapping block = stress::ChildBlockMapping::Open(argv[1]);
  if (!block) return 3;
  const std::wstring path = ProgramFolder() + L"\\LogError.dll";
  const std::int64_t nStart = stress::NowMicros();
  block->nPhase = stress::kBegun;
  UniqueModule library = UniqueModule::Adopt(LoadLibraryW(path.c_str()));
  block->nWorkMicros = stress::NowMicros() - nStart;
  block->nPhase = stress::kFinished;
  return library ? 0 : 4;
}
