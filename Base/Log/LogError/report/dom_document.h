// A thin layer over one MSXML DOMDocument: each call reports the DOM's own
// HRESULT, and a null node that comes back with a success code counts as
// E_FAIL, so the writer can treat every failure alike.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>
#include <string_view>

#include "Win/unique_resource.h"

namespace suite {

// Makes a BSTR of the text; throws HresultError(E_OUTOFMEMORY) when it cannot.
UniqueBstr MakeBstr(std::wstring_view text);

class DomDocument {
 public:
  // Needs the calling thread to be in a COM apartment; fails otherwise.
  HRESULT Create() noexcept;

  // Creates an element and appends it under `parent` (null: the document).
  HRESULT AppendElement(IXMLDOMNode* parent, BSTR name, ComPtr<IXMLDOMElement>& element) noexcept;
  // `value` is a BSTR the call may read only; the DOM keeps its own copy.
  static HRESULT SetAttribute(IXMLDOMElement* element, BSTR name, BSTR value) noexcept;

  HRESULT Save(const std::wstring& fileName);
  HRESULT Xml(UniqueBstr& text) noexcept;

  IXMLDOMDocument* get() const noexcept { return m_document.get(); }

 private:
  ComPtr<IXMLDOMDocument> m_document;
};

}  // namespace suite
