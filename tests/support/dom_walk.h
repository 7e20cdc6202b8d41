// Reading a parsed report document back: its child elements in order, and
// their attributes. Call from a thread in a COM apartment; nothing here keeps
// a reference beyond the call.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <optional>
#include <string>

#include "Win/unique_resource.h"

// Test code takes the product's names as they are.
using namespace suite;

// Calls visit(IXMLDOMElement*) for each child element of `parent`, in
// document order. Other children are skipped: a DOM may keep the white space
// between elements as text nodes. Returns false when the children cannot be
// read, or as soon as visit returns false.
template <typename Visit>
bool ForEachChildElement(IXMLDOMNode* parent, Visit&& visit) {
  ComPtr<IXMLDOMNodeList> children;
  long count = 0;
  if (FAILED(parent->get_childNodes(children.put())) || FAILED(children->get_length(&count))) {
    return false;
  }
  for (long i = 0; i < count; ++i) {
    ComPtr<IXMLDOMNode> node;
    if (children->get_item(i, node.put()) != S_OK) return false;
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node->QueryInterface(IID_IXMLDOMElement, element.put_void()))) continue;
    if (!visit(element.get())) return false;
  }
  return true;
}

// The attribute's text; nullopt when the element does not have it.
inline std::optional<std::wstring> AttributeOf(IXMLDOMElement* element, const wchar_t* name) {
  UniqueBstr attribute = UniqueBstr::Adopt(SysAllocString(name));
  UniqueVariant value;
  if (element->getAttribute(attribute.get(), value.put()) != S_OK ||
      V_VT(&value.get()) != VT_BSTR) {
    return std::nullopt;
  }
  return std::wstring(V_BSTR(&value.get()), SysStringLen(V_BSTR(&value.get())));
}
