#include "file_watch.h"

#include <windows.h>

#include <algorithm>

#include "log_file_walk.h"

using namespace suite;

namespace stress {

namespace {

constexpr const wchar_t* kLogFiles[] = {L"error.Profile", L"error.bf.tmp", L"error.bf"};
constexpr std::size_t kNotesShown = 10;

bool ReachesEnd(const LogSkippedSpan& span, const WalkedFile& file) {
  return span.nOffset + span.nBytes == file.nBytes;
}

// A span with records behind it, if the file has one.
const LogSkippedSpan* InnerDamage(const WalkedFile& file) {
  const auto inner = std::ranges::find_if(
      file.spans, [&file](const LogSkippedSpan& span) { return !ReachesEnd(span, file); });
  return inner == file.spans.end() ? nullptr : &*inner;
}

}  // namespace

bool FileWatch::Look(const std::wstring& event) {
  std::lock_guard<std::mutex> hold(m_lock);
  ++m_nLooks;
  bool bClean = true;
  for (const wchar_t* pszName : kLogFiles) {
    const std::wstring path = m_run.DataFile(pszName);
    WalkedFile file = WalkLogFile(path);
    const bool bPending = std::wstring_view(pszName) == L"error.bf";
    if (const LogSkippedSpan* span = InnerDamage(file)) {
      // A read may have crossed a writer's cut and append; what is real stays.
      const LogSkippedSpan first = *span;
      Sleep(50);
      file = WalkLogFile(path);
      span = InnerDamage(file);
      if (span != nullptr && span->nOffset == first.nOffset) {
        PrintLine(L"FAULT: after " + event + L": " + pszName + L" has a " + DescribeSpan(*span) +
                  L" with records behind it");
        bClean = false;
      }
    }
    if (!file.spans.empty() && ReachesEnd(file.spans.back(), file)) {
      ++m_nTornTails;
      if (bPending) ++m_nTornTailsInPending;
      if (bPending && m_nNotes++ < kNotesShown) {
        PrintLine(L"note: after " + event + L": error.bf ends in a " +
                  DescribeSpan(file.spans.back()));
      }
    }
  }
  return bClean;
}

bool FileWatch::LookSettled() {
  bool bClean = true;
  for (const wchar_t* pszName : kLogFiles) {
    for (const LogSkippedSpan& span : WalkLogFile(m_run.DataFile(pszName)).spans) {
      PrintLine(L"FAULT: once every writer had ended, " + std::wstring(pszName) + L" has a " +
                DescribeSpan(span));
      bClean = false;
    }
  }
  return bClean;
}

}  // namespace stress
