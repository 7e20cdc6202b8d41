// Whether the tool runs under Wine, where some registrations that Windows
// honours are never looked at.
#pragma once

namespace suite {

// True when ntdll.dll exports Wine's version query. Looked up at run time,
// so the tool imports nothing that Windows lacks.
bool RunsUnderWine();

}  // namespace suite
