// The two settings that make the system's daily events happen again within
// one run: the stored roll-over date, moved into the past, makes the next
// load of the library roll the active log over; the send mark, taken away,
// lets the next report go out the same day.
#pragma once

#include <string>

namespace stress {

// Through crt.dll's SetConfigString, as any program of the suite writes it.
bool MoveRollOverDateBack();
// True when the stored roll-over date is today's: a roll-over has run since
// the date was moved back.
bool RollOverDateIsToday();
// Removes [DateMarks] SendErrorDate the way crt.dll writes a setting: while
// owning the settings mutex, so that no other process's write is undone, and
// through a copy, so that a kill cannot cost the other settings.
bool ClearSendMark();

// The data folder of this run (CRT_DATA_DIR).
std::wstring DataFolder();

}  // namespace stress
