#include "dom_document.h"

#include "Win/hresult_error.h"
#include "msxml_ids.h"

namespace suite {

namespace {

HRESULT NullAsFailure(HRESULT hr, const void* result) {
  if (FAILED(hr)) return hr;
  return result == nullptr ? E_FAIL : S_OK;
}

}  // namespace

UniqueBstr MakeBstr(std::wstring_view text) {
  UniqueBstr bstr;
  bstr.reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (!bstr) throw HresultError(E_OUTOFMEMORY);
  return bstr;
}

HRESULT DomDocument::Create() noexcept {
  RETURN_IF_FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, kIidXmlDomDocument,
                                    m_document.put_void()));
  if (!m_document) return E_FAIL;
  // Neither setting matters for building; a document that refuses them still works.
  m_document->put_async(VARIANT_FALSE);
  m_document->put_resolveExternals(VARIANT_FALSE);
  return S_OK;
}

HRESULT DomDocument::AppendElement(IXMLDOMNode* parent, BSTR name,
                                   ComPtr<IXMLDOMElement>& element) noexcept {
  // Separate statements: the pointer is read only after the call filled it.
  const HRESULT created = m_document->createElement(name, element.put());
  RETURN_IF_FAILED(NullAsFailure(created, element.get()));
  ComPtr<IXMLDOMNode> appended;
  IXMLDOMNode* target = parent != nullptr ? parent : m_document.get();
  const HRESULT hr = target->appendChild(element.get(), appended.put());
  return NullAsFailure(hr, appended.get());
}

HRESULT DomDocument::SetAttribute(IXMLDOMElement* element, BSTR name, BSTR value) noexcept {
  VARIANT variant;
  VariantInit(&variant);
  V_VT(&variant) = VT_BSTR;
  V_BSTR(&variant) = value;  // borrowed for the call; not cleared here
  return element->setAttribute(name, variant);
}

HRESULT DomDocument::Save(const std::wstring& fileName) {
  UniqueVariant target;
  target.adopt_bstr(MakeBstr(fileName).detach());
  return m_document->save(target.get());
}

HRESULT DomDocument::Xml(UniqueBstr& text) noexcept {
  // A null text with success is an empty text; the writer adds nothing for it.
  return m_document->get_xml(text.put());
}

}  // namespace suite
