// The DOM document class the reports are built with, and its document
// interface. Spelled out here because mingw's import libraries may lack them.
#pragma once

#include <windows.h>

namespace suite {

inline constexpr CLSID kClsidDomDocument = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
inline constexpr IID kIidXmlDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

}  // namespace suite
