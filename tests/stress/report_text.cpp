#include "report_text.h"

#include <windows.h>
#include <msxml2.h>

#include <cwchar>

#include "Win/unique_resource.h"
#include "format/log_format.h"
#include "report/msxml_ids.h"
#include "support/dom_walk.h"

using namespace suite;

namespace stress {

namespace {

UniqueBstr Bstr(std::wstring_view text) {
  return UniqueBstr::Adopt(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::uint32_t KindOfTag(const std::wstring& tag) {
  if (tag == L"Error") return 1;
  if (tag == L"Warning") return 2;
  if (tag == L"Exception") return 3;
  return 0;
}

bool ReadDocument(const std::wstring& xml, ParsedReport& report) {
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              document.put_void()))) {
    return false;
  }
  UniqueBstr source = Bstr(xml);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ComPtr<IXMLDOMElement> root;
  if (FAILED(document->loadXML(source.get(), &loaded)) || loaded != VARIANT_TRUE ||
      document->get_documentElement(root.put()) != S_OK) {
    return false;
  }
  if (std::optional<std::wstring> uuid = AttributeOf(root.get(), L"UUID")) {
    report.clientIds.insert(*uuid);
  }
  return ForEachChildElement(root.get(), [&](IXMLDOMElement* element) {
    UniqueBstr tag;
    if (FAILED(element->get_tagName(tag.put()))) return false;
    FoundRecord item;
    item.nKind = KindOfTag(std::wstring(tag.get(), SysStringLen(tag.get())));
    item.errorCode = AttributeOf(element, L"ErrorCode").value_or(L"");
    item.message = AttributeOf(element, L"Message").value_or(L"");
    item.value = AttributeOf(element, L"Value");
    item.nCount = std::wcstol(AttributeOf(element, L"Count").value_or(L"0").c_str(), nullptr, 10);
    report.items.push_back(std::move(item));
    return true;
  });
}

}  // namespace

ParsedReport ParseReport(const std::wstring& text) {
  constexpr std::wstring_view kDocumentStart = L"<Log_Error";
  ParsedReport report;
  std::size_t start = text.find(kDocumentStart);
  bool bWellFormed = start != std::wstring::npos && text.find_first_not_of(L" \t\r\n") == start;
  while (bWellFormed && start != std::wstring::npos) {
    const std::size_t next = text.find(kDocumentStart, start + 1);
    bWellFormed = ReadDocument(text.substr(start, next - start), report);
    ++report.nDocuments;
    start = next;
  }
  report.bWellFormed = bWellFormed;
  return report;
}

std::optional<std::wstring> ReadReportFile(const std::wstring& path) {
  UniqueFileHandle file = UniqueFileHandle::Adopt(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart % 2 != 0 ||
      size.QuadPart > kLogReadableBytes) {
    return std::nullopt;
  }
  std::wstring text(static_cast<std::size_t>(size.QuadPart / 2), L'\0');
  DWORD nRead = 0;
  if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(size.QuadPart), &nRead, nullptr) ||
      nRead != size.QuadPart) {
    return std::nullopt;
  }
  return text;
}

}  // namespace stress
