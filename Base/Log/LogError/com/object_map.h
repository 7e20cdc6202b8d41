// The classes this server offers.
#pragma once

#include "com_module.h"

extern ObjectMapEntry g_objectMap[];
