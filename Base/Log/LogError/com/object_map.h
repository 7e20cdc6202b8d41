// The classes this server offers.
#pragma once

#include "com_module.h"

namespace suite {

extern ObjectMapEntry g_objectMap[];

}  // namespace suite
