#include "log_parse.h"

#include "format/log_record_walk.h"
#include "log_fold.h"

namespace suite {

bool ParseLogRecords(const std::uint8_t* pData, std::size_t nBytes, ProductList& products) {
  LogRecordWalk walk(pData, nBytes);
  const LogFileState state = walk.FileState();
  if (state != LogFileState::Known && state != LogFileState::Damaged) return false;

  // Every whole record is folded, whatever damage lies between them: one
  // damaged span must not cost the records around it.
  LogFold fold(products);
  LogRecordView record;
  for (;;) {
    switch (walk.Next(record)) {
      case LogWalkStep::Record:
        fold.Add(record);
        break;
      case LogWalkStep::Skipped:
        break;
      case LogWalkStep::End:
        return state == LogFileState::Known || walk.RecordCount() != 0;
    }
  }
}

}  // namespace suite
