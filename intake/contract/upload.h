// An upload as the contract reads it: plain values, parsed fully before
// anything is folded or stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace intake {

// One item element of a report document ("Error", "Warning", "Exception").
struct ReportItem {
  std::string kind;
  std::int32_t error_code = 0;
  std::string message;
  std::optional<std::string> value;  // absent when the element has no "Value"
  std::uint32_t count = 0;           // a positive 32-bit decimal
  std::string dll_ver;
  std::string app_ver;
};

// One "Log_Error" document: one product version of one client.
struct ReportDocument {
  std::string product_ver;
  std::string uuid;
  std::vector<ReportItem> items;
};

struct Upload {
  std::string key;     // the Idempotency-Key, lower-case hex SHA-256 of the body
  std::string client;  // X-Client-Id when sent, else the documents' UUID
  std::uint64_t bytes = 0;
  std::vector<ReportDocument> documents;
};

}  // namespace intake
