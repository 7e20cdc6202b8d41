// Report text written the way the library's writer and the DOM under Wine
// write it: one Log_Error document per product version, root attributes
// ProductVer then UUID, item attributes ErrorCode, Message, [Value], Count,
// DLLVer, AppVer; CR LF and a TAB before each item, each document followed by
// CR LF CR LF; an empty document as "<Log_Error .../>". For the intake's
// tests and benchmark (header-only; needs only the contract's structs).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "contract/upload.h"

namespace intake::testing {

// An attribute's value as the DOM escapes it: the markup characters and the
// white space that attribute normalisation would otherwise turn into spaces.
inline void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
}

inline void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  AppendEscaped(out, value);
  out += '"';
}

inline void AppendDocument(std::string& out, const ReportDocument& document) {
  out += "<Log_Error";
  AppendAttribute(out, "ProductVer", document.product_ver);
  AppendAttribute(out, "UUID", document.uuid);
  if (document.items.empty()) {
    out += "/>\r\n\r\n";
    return;
  }
  out += ">\r\n";
  for (const ReportItem& item : document.items) {
    out += "\t<";
    out += item.kind;
    AppendAttribute(out, "ErrorCode", std::to_string(item.error_code));
    AppendAttribute(out, "Message", item.message);
    if (item.value) AppendAttribute(out, "Value", *item.value);
    AppendAttribute(out, "Count", std::to_string(item.count));
    AppendAttribute(out, "DLLVer", item.dll_ver);
    AppendAttribute(out, "AppVer", item.app_ver);
    out += "/>\r\n";
  }
  out += "</Log_Error>\r\n\r\n";
}

inline std::string ReportText(const std::vector<ReportDocument>& documents) {
  std::string out;
  for (const ReportDocument& document : documents) AppendDocument(out, document);
  return out;
}

// Builds the documents one call at a time:
//   ReportBuilder().Document("2.1", uuid).Item("Error", 5, "Cannot open").Text()
class ReportBuilder {
 public:
  ReportBuilder& Document(std::string product_ver, std::string uuid) {
    m_documents.push_back({std::move(product_ver), std::move(uuid), {}});
    return *this;
  }

  // Into the last document (a first one of version "1.0" when there is none).
  ReportBuilder& Item(std::string kind, std::int32_t error_code, std::string message,
                      std::optional<std::string> value = std::nullopt, std::uint32_t count = 1,
                      std::string dll_ver = "1.0.0.1", std::string app_ver = "2.0.0.1") {
    if (m_documents.empty()) Document("1.0", "{00000000-0000-0000-0000-000000000001}");
    m_documents.back().items.push_back({std::move(kind), error_code, std::move(message),
                                        std::move(value), count, std::move(dll_ver),
                                        std::move(app_ver)});
    return *this;
  }

  const std::vector<ReportDocument>& Documents() const { return m_documents; }
  std::string Text() const { return ReportText(m_documents); }

 private:
  std::vector<ReportDocument> m_documents;
};

}  // namespace intake::testing
