// The XML report: one DOM document per product version, saved as files or
// joined into one text. A report is complete or it is not delivered: any DOM
// failure fails the build, because after the report is marked sent whatever
// it missed would be gone for good.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Win/hresult_error.h"
#include "dom_document.h"
#include "log2xml.h"
#include "report_file_names.h"
#include "utility/crt_operations.h"
#include "xml_text.h"

namespace suite {

namespace {

std::wstring_view Wide(std::u16string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

// Every text that reaches the DOM: characters XML 1.0 cannot carry would make
// the whole document unreadable, so they become U+FFFD first.
UniqueBstr XmlBstr(std::u16string_view text) {
  if (IsXmlTextClean(text)) return MakeBstr(Wide(text));
  std::u16string clean = SanitizeXmlText(text);
  return MakeBstr(Wide(clean));
}

UniqueBstr NumberBstr(std::int32_t value) {
  wchar_t text[16];
  int length = swprintf(text, 16, L"%d", static_cast<int>(value));
  if (length < 0) throw HresultError(E_FAIL);
  return MakeBstr(std::wstring_view(text, static_cast<size_t>(length)));
}

// Errors, warnings and exceptions; items of other kinds are left out of the
// report on purpose.
bool IsReportedKind(std::uint32_t nKind) { return nKind >= 1 && nKind <= 3; }

// Names used for every element and attribute, made once per build.
struct XmlNames {
  UniqueBstr logError = MakeBstr(L"Log_Error");
  UniqueBstr productVer = MakeBstr(L"ProductVer");
  UniqueBstr uuid = MakeBstr(L"UUID");
  UniqueBstr errorCode = MakeBstr(L"ErrorCode");
  UniqueBstr message = MakeBstr(L"Message");
  UniqueBstr value = MakeBstr(L"Value");
  UniqueBstr count = MakeBstr(L"Count");
  UniqueBstr dllVer = MakeBstr(L"DLLVer");
  UniqueBstr appVer = MakeBstr(L"AppVer");
  // Indexed by kind - 1.
  UniqueBstr kinds[3] = {MakeBstr(L"Error"), MakeBstr(L"Warning"), MakeBstr(L"Exception")};
};

class DocumentBuilder {
 public:
  DocumentBuilder(DomDocument& document, const XmlNames& names)
      : m_document(document), m_names(names) {}

  HRESULT Build(const ProductGroup& product, BSTR uuid) {
    ComPtr<IXMLDOMElement> root;
    RETURN_IF_FAILED(m_document.AppendElement(nullptr, m_names.logError.get(), root));
    UniqueBstr version = XmlBstr(product.strProductVersion);
    RETURN_IF_FAILED(
        DomDocument::SetAttribute(root.get(), m_names.productVer.get(), version.get()));
    RETURN_IF_FAILED(DomDocument::SetAttribute(root.get(), m_names.uuid.get(), uuid));
    for (const auto& app : product.vecApps) {
      UniqueBstr appVersion = XmlBstr(app->pszAppVersion);
      for (const auto& module : app->vecModules) {
        UniqueBstr moduleVersion = XmlBstr(module->pszModuleVersion);
        for (const auto& item : module->vecItems) {
          if (!IsReportedKind(item->nKind)) continue;
          RETURN_IF_FAILED(AddItem(root.get(), *item, moduleVersion.get(), appVersion.get()));
        }
      }
    }
    return S_OK;
  }

 private:
  HRESULT AddItem(IXMLDOMElement* root, const ErrorItem& item, BSTR moduleVersion,
                  BSTR appVersion) {
    ComPtr<IXMLDOMElement> element;
    RETURN_IF_FAILED(m_document.AppendElement(root, m_names.kinds[item.nKind - 1].get(), element));
    UniqueBstr code = NumberBstr(item.nErrorCode);
    UniqueBstr message = XmlBstr(item.pszMessage);
    UniqueBstr value;
    if (item.pszValue) value = XmlBstr(*item.pszValue);
    UniqueBstr count = NumberBstr(item.nCount);
    const std::pair<BSTR, BSTR> attributes[] = {
        {m_names.errorCode.get(), code.get()}, {m_names.message.get(), message.get()},
        {m_names.value.get(), value.get()},    {m_names.count.get(), count.get()},
        {m_names.dllVer.get(), moduleVersion}, {m_names.appVer.get(), appVersion}};
    for (const auto& [name, text] : attributes) {
      if (name == m_names.value.get() && !item.pszValue) continue;
      RETURN_IF_FAILED(DomDocument::SetAttribute(element.get(), name, text));
    }
    return S_OK;
  }

  DomDocument& m_document;
  const XmlNames& m_names;
};

// Joins the texts, each followed by "\r\n", into one BSTR of exactly that size.
UniqueBstr JoinTexts(const std::vector<UniqueBstr>& texts) {
  std::size_t total = 0;
  for (const UniqueBstr& text : texts) {
    if (text) total += SysStringLen(text.get()) + 2;
  }
  if (total == 0 || total > 0x7FFFFFF0) return UniqueBstr();
  UniqueBstr joined;
  joined.reset(SysAllocStringLen(nullptr, static_cast<UINT>(total)));
  if (!joined) throw HresultError(E_OUTOFMEMORY);
  wchar_t* out = joined.get();
  for (const UniqueBstr& text : texts) {
    if (!text) continue;
    UINT length = SysStringLen(text.get());
    std::char_traits<wchar_t>::copy(out, text.get(), length);
    out += length;
    *out++ = L'\r';
    *out++ = L'\n';
  }
  return joined;
}

}  // namespace

bool CLog2XML::BuildXml(BSTR* pbstrXml, wchar_t* pszReportPath) {
  if (m_vecProducts.empty()) return false;
  const bool bFileMode = pszReportPath != nullptr;
  if (!bFileMode && pbstrXml == nullptr) return false;
  // An empty path would name files in the host's current folder.
  if (bFileMode && pszReportPath[0] == L'\0') return false;

  wchar_t uuidText[kCrtPathCapacity] = {};
  GetClientUuid(uuidText, kCrtPathCapacity);
  uuidText[kCrtPathCapacity - 1] = L'\0';
  UniqueBstr uuid = XmlBstr(std::u16string_view(reinterpret_cast<const char16_t*>(uuidText)));

  const XmlNames names;
  std::vector<UniqueBstr> texts;
  ReportFileNames fileNames;
  bool bComplete = true;
  for (const auto& product : m_vecProducts) {
    DomDocument document;
    if (FAILED(document.Create())) return false;
    HRESULT hr = DocumentBuilder(document, names).Build(*product, uuid.get());
    if (bFileMode) {
      // One unwritable document must not hide the others: go on, but fail.
      if (SUCCEEDED(hr)) {
        PrepareReportPath(pszReportPath);
        hr = document.Save(fileNames.Next(pszReportPath, product->strProductVersion));
      }
      if (FAILED(hr)) bComplete = false;
      continue;
    }
    if (FAILED(hr)) return false;
    UniqueBstr text;
    if (FAILED(document.Xml(text))) return false;
    texts.push_back(std::move(text));
  }
  if (bFileMode) return bComplete;

  UniqueBstr joined = JoinTexts(texts);
  if (!joined) return false;
  *pbstrXml = joined.detach();
  return true;
}

bool CLog2XML::SaveXmlReport(const wchar_t* pszFolder, std::wstring& strReportPath) {
  if (pszFolder != nullptr) {
    strReportPath = std::wstring(pszFolder) + L"\\LogError.xml";
  } else {
    FillText260(strReportPath, [](wchar_t* buffer) {
      GetDataFilePath(L"LogError.xml", buffer, kCrtPathCapacity, kCrtDataFolder, 0, 0);
    });
  }
  bool bBuilt = BuildXml(nullptr, strReportPath.data());
  // The path was prepared in place; keep the string's length in step.
  strReportPath.resize(wcslen(strReportPath.c_str()));
  return bBuilt;
}

}  // namespace suite
