// Reading a log file of the data folder with the library's own checked record
// walk: every record in it and every span the walk had to skip. The file is
// opened with every sharing right, so that a walk in the middle of a run
// never stands in a writer's, a roll-over's or a sender's way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/log_record_walk.h"
#include "found_record.h"

namespace stress {

using namespace suite;

struct WalkedFile {
  bool bExists = false;
  std::uint64_t nBytes = 0;
  std::vector<FoundRecord> records;
  std::vector<LogSkippedSpan> spans;
};

WalkedFile WalkLogFile(const std::wstring& path);

// "Damaged span at 4620, 300 bytes" and the like.
std::wstring DescribeSpan(const LogSkippedSpan& span);

}  // namespace stress
