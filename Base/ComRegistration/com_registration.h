// Registration of the sender class for installers. The library does not
// register itself.
//
// Under Software\Classes of the machine (HKLM, needs administrator rights) or
// of the current user (HKCU) it writes:
//   CLSID\{class}\InprocServer32      the library's full path, ThreadingModel
//                                     "Apartment"
//   Interface\{IKRLogSender}          ProxyStubClsid32: the system's
//                                     type-library marshaler, and TypeLib
//   TypeLib\{library}\1.0\0\win32|win64  the library (its embedded type
//                                     library, resource TYPELIB 1)
// CLSID and Interface go to the registry view of the library's own machine
// type, read from its PE header (a 64-bit tool registering the 32-bit library
// writes the 32-bit view, where 32-bit clients look). TypeLib is shared
// between the views; each architecture has its own subkey there.
#pragma once

#include <windows.h>

#include <string>

namespace suite {

// Unregister found the class registered to another copy of the library and
// left it alone.
inline constexpr int kRegisteredElsewhere = ERROR_NOT_OWNER;

// 0 on success, otherwise a Win32 error code: ERROR_FILE_NOT_FOUND when
// dllPath names no file, ERROR_BAD_EXE_FORMAT when it is not an x86 or x64
// library. dllPath may be relative; its full path is stored. A registration
// that fails part of the way leaves the earlier one as it was.
int RegisterLogSender(const std::wstring& dllPath, bool perUser);
// Removes the registration when it names dllPath (0 also when there was none);
// kRegisteredElsewhere when it names another file, whose path goes to
// *otherCopy when given.
int UnregisterLogSender(const std::wstring& dllPath, bool perUser,
                        std::wstring* otherCopy = nullptr);

}  // namespace suite
