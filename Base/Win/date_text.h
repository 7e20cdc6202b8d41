// Dates as the suite stores them in its settings ("LogErrorDate", the send
// mark): the local year, month and day as "%d.%02d.%02d", so 2011.07.26.
// Stored dates are compared as texts, so every writer formats them here.
#pragma once

#include <windows.h>

#include <cwchar>

namespace suite {

struct DateText {
  wchar_t text[24];
};

inline DateText FormatDateText(unsigned year, unsigned month, unsigned day) noexcept {
  DateText date = {};
  swprintf(date.text, sizeof(date.text) / sizeof(date.text[0]), L"%u.%02u.%02u", year, month, day);
  return date;
}

inline DateText TodayDateText() noexcept {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FormatDateText(now.wYear, now.wMonth, now.wDay);
}

}  // namespace suite
