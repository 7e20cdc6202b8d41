// CLogSenderObject: the sender object behind CLSID_LogSender. A client asks it
// whether sending is permitted and for the report text, uploads the text by
// its own means, then calls MarkReportSent on the same object.
//
// Single-threaded: one thread at a time uses an object, and the thread that
// asks for a report must already be in a COM apartment (the report is built
// through the XML DOM). No exception leaves a method.
#pragma once

#include <windows.h>

#include "LogError.h"
#include "com_coclass.h"
#include "com_object_root.h"
#include "log2xml.h"

class CLogSenderObject : public CComObjectRootEx<CComSingleThreadModel>,
                         public CComCoClass<CLogSenderObject, &CLSID_LogSender>,
                         public IKRLogSender {
 public:
  // GetReport's results, plain values in the HRESULT position.
  static constexpr HRESULT kNotPermitted = -1;
  static constexpr HRESULT kNoReport = 0;
  static constexpr HRESULT kReportDelivered = 1;

  CLogSenderObject() = default;
  CLogSenderObject(const CLogSenderObject&) = delete;
  CLogSenderObject& operator=(const CLogSenderObject&) = delete;
  virtual ~CLogSenderObject() = default;

  // The interface map: IUnknown and IKRLogSender.
  IUnknown* InterfaceFor(REFIID riid) noexcept;

  // Builds from a fresh read of the pending log file into bstrFolder (null or
  // empty: the data folder); E_FAIL when nothing was built. Neither checks the
  // permission nor marks anything sent.
  STDMETHOD(SaveReport)(BSTR bstrFolder) noexcept override;
  // -1, 0 or 1. Reads the pending log file at most once per object, so a
  // second report from one object is 0. *pbstrReport is written only with 1.
  STDMETHOD(GetReport)(BSTR* pbstrReport, LONG lBuild) noexcept override;
  // Sets the send mark. Only after GetReport delivered a report (returned 1)
  // does it also remove from the pending log file exactly the bytes reported,
  // if the file still starts with them, and only once. S_OK.
  STDMETHOD(MarkReportSent)() noexcept override;

  // Loaded by GetReport only; MarkReportSent reads what it loaded.
  CLog2XML m_log2Xml;

 private:
  // A load that did not end in a delivered report proves nothing was sent.
  bool m_bReportDelivered = false;
};
