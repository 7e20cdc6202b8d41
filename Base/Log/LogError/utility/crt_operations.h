// The utility library's operations as this library calls them. They are
// imported from crt.dll by ordinal only (crt.def marks every export NONAME).
#pragma once

#include <cwchar>
#include <string>

#include "crt_api.h"

namespace suite {

// Arguments whose meaning lies in the utility library.
inline constexpr int kCrtDataFolder = 4;  // GetDataFilePath: the suite's data folder
inline constexpr int kCrtStore = 1;       // settings store of the suite
inline constexpr int kCrtProductVersionFlags = 1;
inline constexpr DWORD kCrtPathCapacity = 260;  // every path and text buffer, terminator included

// Fills `text` from an operation that writes into a buffer of 260 wide
// characters; the text ends at the first zero among them, and stays empty
// when the operation writes nothing.
template <typename Fill>
void FillText260(std::wstring& text, Fill&& fill) {
  text.assign(kCrtPathCapacity + 1, L'\0');
  fill(text.data());
  text[kCrtPathCapacity] = L'\0';
  text.resize(wcslen(text.c_str()));
}

}  // namespace suite
