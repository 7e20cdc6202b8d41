// The text form of a PostgreSQL array, for sending a column of many rows as
// one parameter (unnest($1::text[]) and the like): one statement per table
// per group instead of one per row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace intake::pg {

class ArrayLiteral {
 public:
  ArrayLiteral() : m_text("{") {}
  // Text is quoted and escaped. PostgreSQL's text cannot hold a NUL, so a
  // NUL becomes U+FFFD rather than cutting the value short.
  void AddText(std::string_view text);
  void AddNull();
  void AddInt(std::int64_t number);
  std::string Finish() &&;

 private:
  void Separate();
  std::string m_text;
  bool m_empty = true;
};

}  // namespace intake::pg
