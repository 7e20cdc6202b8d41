#include "log_parse.h"

#include <cstdint>

#include "log_fold.h"
#include "log_record_walk.h"

bool ParseLogRecords(const std::uint8_t* pData, std::size_t nBytes, ProductList& products) {
  if (!IsKnownLogFileHeader(pData, nBytes)) return false;
  if ((reinterpret_cast<std::uintptr_t>(pData) & 1) != 0) return false;

  LogFold fold(products);
  LogRecordWalk walk(pData, nBytes);
  LogRecordView record;
  for (;;) {
    switch (walk.Next(record)) {
      case LogWalkStep::Record:
        fold.Add(record);
        break;
      case LogWalkStep::End:
      case LogWalkStep::TornTail:
        return true;
      case LogWalkStep::Damaged:
        return false;
    }
  }
}
