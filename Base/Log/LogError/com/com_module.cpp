#include "com_module.h"

void ComModuleInit(HINSTANCE) noexcept {}
void ComModuleTerm() noexcept {}
