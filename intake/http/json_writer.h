// A small JSON writer for the read API: strings are escaped here and nowhere
// else, numbers are written as numbers. Not thread-safe; one per answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace intake {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The name of the next member of the enclosing object.
  JsonWriter& Key(std::string_view name);
  // Bytes that are not UTF-8 become U+FFFD, so the output is always JSON.
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Number(std::uint64_t value);
  JsonWriter& Null();
  JsonWriter& Bool(bool value);

  const std::string& text() const { return m_out; }

 private:
  void BeforeValue();
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);

  std::string m_out;
  std::vector<bool> m_first;  // per open container: nothing written in it yet
  bool m_afterKey = false;
};

// The text escaped as the body of a JSON string, without the quotes.
void AppendJsonEscaped(std::string& out, std::string_view text);

}  // namespace intake
