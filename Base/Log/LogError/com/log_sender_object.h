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
#include "report/log2xml.h"

namespace suite {

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

  // Saves one file per product version from a fresh read of the pending log
  // file into bstrFolder. Only a null folder means the data folder; any other
  // text is used as given, so "" names the root of the current drive. S_OK
  // when there were records and every document was saved, else E_FAIL. It is
  // no delivery: it neither checks the permission nor gives MarkReportSent
  // anything to remove.
  STDMETHOD(SaveReport)(BSTR bstrFolder) noexcept override;
  // -1, 0 or 1. A null pbstrReport asks only for the permission. The first
  // call that finds the pending log file reads it and later calls read
  // nothing, so one object delivers one report at most. *pbstrReport is
  // written only with 1.
  STDMETHOD(GetReport)(BSTR* pbstrReport, LONG lBuild) noexcept override;
  // Always sets the send mark, and S_OK. Only when GetReport returned 1 on this
  // object since the last call does it also remove the reported bytes from
  // the pending log file, and only if the file still starts with them.
  STDMETHOD(MarkReportSent)() noexcept override;

  // Loaded by GetReport only; MarkReportSent reads what it loaded.
  CLog2XML m_log2Xml;

 private:
  // Set by a GetReport that returned 1, taken by MarkReportSent: bytes that
  // were loaded but never handed out as report text were not sent.
  bool m_bReportDelivered = false;
};

}  // namespace suite
