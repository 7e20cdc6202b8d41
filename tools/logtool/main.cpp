// logtool: the error log's command-line tool.
//   logtool demo                       the road of an error, in CRT_DATA_DIR
//   logtool dump <log file>            prints the records of a log file
//   logtool register [--user] [dll]    registers the sender class (default:
//                                      LogError.dll beside the tool; machine-wide
//                                      unless --user)
//   logtool unregister [--user]        removes that registration
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com_registration.h"
#include "commands.h"

namespace {

int Usage() {
  fwprintf(stderr,
           L"usage: logtool demo | dump <file> | register [--user] [dll] | "
           L"unregister [--user]\n");
  return 2;
}

std::wstring DefaultLibraryPath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\')) + L"\\LogError.dll";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::wstring& command = args[0];
  if (command == L"demo" && args.size() == 1) return DemoCommand();
  if (command == L"dump" && args.size() == 2) return DumpCommand(args[1]);
  if (command == L"register" || command == L"unregister") {
    bool perUser = false;
    std::wstring library = DefaultLibraryPath();
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == L"--user") {
        perUser = true;
      } else {
        library = args[i];
      }
    }
    return command == L"register" ? RegisterLogSender(library, perUser)
                                  : UnregisterLogSender(library, perUser);
  }
  return Usage();
}
