// A library with a version of its own, whose handle the tests pass as the
// calling module.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
