// An independent decoder of log files for assertions: every record with its
// header and its strings, or a note of where the bytes stop making sense.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/log_format.h"

// Test code takes the product's names as they are.
using namespace suite;

struct DecodedRecord {
  LogRecordHeader header;
  std::u16string appName;
  std::u16string moduleName;
  std::u16string message;
  std::optional<std::u16string> value;
  std::size_t offset = 0;
};

struct DecodedLog {
  bool headerValid = false;
  bool whole = false;  // every byte belongs to a whole, consistent record
  std::vector<DecodedRecord> records;
};

DecodedLog DecodeLog(const std::vector<unsigned char>& bytes);

std::u16string FieldText(const char16_t (&field)[kLogTextFieldChars]);
