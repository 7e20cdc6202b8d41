// The body as the library's writer makes it: one or more Log_Error documents,
// white space between them, items one level down, no deeper. The parser reads
// the body as a fragment (so documents need no wrapper: the parser's own copy
// is the only one), keeps DOCTYPEs, declarations and processing instructions as
// nodes so they can be refused, and expands no reference; the walk below
// decodes values itself and never descends past the items.
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "contract/parse_budget.h"
#include "contract/read_upload.h"
#include "contract/xml_utf8.h"
#include "contract/xml_values.h"

namespace intake {

namespace {

// No parse_escapes: references stay raw for AppendXmlDecoded. A DOCTYPE is
// kept only as a node's text (pugixml never reads a DTD) to be refused.
constexpr unsigned kParseOptions = pugi::parse_fragment | pugi::parse_eol |
                                   pugi::parse_wconv_attribute | pugi::parse_doctype |
                                   pugi::parse_declaration | pugi::parse_pi | pugi::parse_cdata;

// The parser's copy of the body and its tree: about four times the body for
// the densest items a writer makes (every text empty), and a floor for small
// bodies. Denser bodies are no report.
constexpr std::size_t kBudgetPerBodyByte = 6;
constexpr std::size_t kBudgetFloor = 1 << 20;

using Error = std::optional<ContractError>;

Error DecodedValue(const pugi::xml_attribute& attribute, std::string& out) {
  return AppendXmlDecoded(attribute.value(), out);
}

// Text nodes may only be white space, also once references are decoded.
Error CheckText(const pugi::xml_node& node) {
  std::string text;
  if (Error error = AppendXmlDecoded(node.value(), text)) return error;
  if (!IsXmlWhiteSpace(text)) return ContractError::kStrayText;
  return std::nullopt;
}

// Every node that is not an element or text: DOCTYPE, declaration (only where
// the caller allows one), processing instruction, CDATA.
Error OtherNode(const pugi::xml_node& node) {
  return node.type() == pugi::node_doctype ? ContractError::kDoctype : ContractError::kForeignNode;
}

// Takes each of the named attributes once; any other name, or a repeat, is
// refused. `names` and `values` run in step.
template <std::size_t N>
Error ReadAttributes(const pugi::xml_node& element, const std::array<const char*, N>& names,
                     std::array<std::optional<std::string>, N>& values) {
  for (const pugi::xml_attribute& attribute : element.attributes()) {
    std::size_t i = 0;
    while (i < N && std::strcmp(attribute.name(), names[i]) != 0) ++i;
    if (i == N || values[i]) return ContractError::kForeignAttribute;
    values[i].emplace();
    if (Error error = DecodedValue(attribute, *values[i])) return error;
  }
  return std::nullopt;
}

bool IsItemKind(const char* name) {
  return std::strcmp(name, "Error") == 0 || std::strcmp(name, "Warning") == 0 ||
         std::strcmp(name, "Exception") == 0;
}

constexpr std::array<const char*, 6> kItemAttributes = {"ErrorCode", "Message", "Value",
                                                        "Count",     "DLLVer",  "AppVer"};

Error ReadItem(const pugi::xml_node& element, ReportItem& item) {
  if (!IsItemKind(element.name())) return ContractError::kForeignNode;
  // An item holds nothing; white space inside it is dropped by the parser.
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() == pugi::node_element) return ContractError::kForeignNode;
    Error error = child.type() == pugi::node_pcdata ? CheckText(child) : OtherNode(child);
    if (error) return error;
  }
  std::array<std::optional<std::string>, 6> values;
  if (Error error = ReadAttributes(element, kItemAttributes, values)) return error;
  auto& [code, message, value, count, dll_ver, app_ver] = values;
  if (!code || !message || !count || !dll_ver || !app_ver) return ContractError::kMissingAttribute;
  const std::optional<std::int32_t> error_code = ParseInt32(*code);
  if (!error_code) return ContractError::kBadErrorCode;
  const std::optional<std::uint32_t> parsed_count = ParseCount(*count);
  if (!parsed_count) return ContractError::kBadCount;
  item.kind = element.name();
  item.error_code = *error_code;
  item.message = std::move(*message);
  item.value = std::move(value);
  item.count = *parsed_count;
  item.dll_ver = std::move(*dll_ver);
  item.app_ver = std::move(*app_ver);
  return std::nullopt;
}

constexpr std::array<const char*, 2> kDocumentAttributes = {"ProductVer", "UUID"};

Error ReadDocument(const pugi::xml_node& root, ReportDocument& document) {
  if (std::strcmp(root.name(), "Log_Error") != 0) return ContractError::kForeignNode;
  std::array<std::optional<std::string>, 2> values;
  if (Error error = ReadAttributes(root, kDocumentAttributes, values)) return error;
  if (!values[0] || !values[1]) return ContractError::kMissingAttribute;
  document.product_ver = std::move(*values[0]);
  document.uuid = std::move(*values[1]);
  // Exactly as many items as elements: no spare capacity in the largest
  // structure an upload holds.
  std::size_t elements = 0;
  for (const pugi::xml_node& child : root.children()) {
    elements += child.type() == pugi::node_element ? 1 : 0;
  }
  document.items.reserve(elements);
  for (const pugi::xml_node& child : root.children()) {
    Error error;
    switch (child.type()) {
      case pugi::node_element:
        error = ReadItem(child, document.items.emplace_back());
        break;
      case pugi::node_pcdata:
        error = CheckText(child);
        break;
      default:
        error = OtherNode(child);
    }
    if (error) return error;
  }
  return std::nullopt;
}

Error ReadDocuments(const pugi::xml_document& tree, std::vector<ReportDocument>& documents) {
  // A declaration may open a document: allowed only right before a Log_Error
  // (text nodes between are white space or refused anyway).
  bool declaration_open = false;
  for (const pugi::xml_node& node : tree.children()) {
    Error error;
    switch (node.type()) {
      case pugi::node_element:
        declaration_open = false;
        error = ReadDocument(node, documents.emplace_back());
        break;
      case pugi::node_pcdata:
        error = CheckText(node);
        break;
      case pugi::node_declaration:
        if (declaration_open) return ContractError::kForeignNode;
        declaration_open = true;
        break;
      default:
        error = OtherNode(node);
    }
    if (error) return error;
  }
  if (declaration_open) return ContractError::kForeignNode;
  if (documents.empty()) return ContractError::kNoDocument;
  return std::nullopt;
}

}  // namespace

std::variant<std::vector<ReportDocument>, ContractError> ParseReportBody(std::string_view body) {
  if (Error error = CheckXmlUtf8(body)) return *error;
  InstallParseAllocator();
  // The budget outlives the tree, whose blocks it counted.
  ScopedParseBudget budget(std::max(kBudgetFloor, body.size() > SIZE_MAX / kBudgetPerBodyByte
                                                      ? SIZE_MAX
                                                      : body.size() * kBudgetPerBodyByte));
  pugi::xml_document tree;
  const pugi::xml_parse_result parsed =
      tree.load_buffer(body.data(), body.size(), kParseOptions, pugi::encoding_utf8);
  if (!parsed) {
    if (parsed.status == pugi::status_out_of_memory && budget.Exhausted()) {
      return ContractError::kTooDense;
    }
    if (parsed.status == pugi::status_bad_doctype) return ContractError::kDoctype;
    if (parsed.status == pugi::status_out_of_memory) throw std::bad_alloc();
    return ContractError::kNotWellFormed;
  }
  std::vector<ReportDocument> documents;
  if (Error error = ReadDocuments(tree, documents)) return *error;
  return documents;
}

}  // namespace intake
