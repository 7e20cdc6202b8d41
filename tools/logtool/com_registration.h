// Registration of the sender class for installers. The library does not
// register itself.
//
// The class goes under Software\Classes\CLSID\{...}\InprocServer32 of the
// machine (HKLM, needs administrator rights) or of the current user (HKCU),
// with the library's full path and the threading model "Apartment". A 32-bit
// tool writes the 32-bit view, which is where 32-bit clients look.
#pragma once

#include <string>

// 0 on success, otherwise a Win32 error code (ERROR_FILE_NOT_FOUND when
// dllPath names no file). dllPath may be relative; its full path is stored.
int RegisterLogSender(const std::wstring& dllPath, bool perUser);
// Removes the class's key with everything below it. 0 also when it was not
// registered.
int UnregisterLogSender(bool perUser);
