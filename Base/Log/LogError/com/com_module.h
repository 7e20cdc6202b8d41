// The COM module's share of the process entry.
#pragma once

#include <windows.h>

// Attach: records the library's handle and runs the classes' init hooks.
void ComModuleInit(HINSTANCE hInstance) noexcept;
// Detach: releases the cached class factories.
void ComModuleTerm() noexcept;
