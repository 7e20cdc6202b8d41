#include "daily_rollover.h"

bool IsRollOverDue() { return false; }

void RollOver(const wchar_t*) {}
