#include "log_sender_object.h"

#include <string>
#include <utility>

#include "Win/hresult_error.h"
#include "Win/unique_resource.h"
#include "pending/pending_log.h"
#include "utility/crt_operations.h"

namespace suite {

namespace {

constexpr wchar_t kSendMark[] = L"SendErrorDate";

HRESULT SendPermission() {
  if (GetConfigInt(L"LogControl", L"SendError", 1, kCrtStore) == 0) {
    return CLogSenderObject::kNotPermitted;
  }
  return IsDateMarkCurrent(kSendMark) ? CLogSenderObject::kNotPermitted
                                      : CLogSenderObject::kReportDelivered;
}

}  // namespace

IUnknown* CLogSenderObject::InterfaceFor(REFIID riid) noexcept {
  if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_IKRLogSender)) {
    return static_cast<IKRLogSender*>(this);
  }
  return nullptr;
}

// Every failure, out of memory included, is the E_FAIL that the interface
// promises for a report not saved.
HRESULT CLogSenderObject::SaveReport(BSTR bstrFolder) noexcept {
  return CatchValue(E_FAIL, [&] {
    CLog2XML log2Xml;
    if (!log2Xml.LoadLogFile()) return E_FAIL;
    std::wstring reportPath;
    return log2Xml.SaveXmlReport(bstrFolder, reportPath) ? S_OK : E_FAIL;
  });
}

// Its results are plain values, not HRESULTs: a failure of any kind is "no
// report delivered".
HRESULT CLogSenderObject::GetReport(BSTR* pbstrReport, LONG lBuild) noexcept {
  return CatchValue(kNoReport, [&] {
    const HRESULT permission = SendPermission();
    if (pbstrReport == nullptr || permission == kNotPermitted) return permission;
    if (lBuild <= 0) return kNoReport;
    if (!m_log2Xml.LoadLogFile()) return kNoReport;
    UniqueBstr report;
    if (!m_log2Xml.BuildXml(report.put(), nullptr)) return kNoReport;
    *pbstrReport = report.detach();
    m_bReportDelivered = true;
    return kReportDelivered;
  });
}

HRESULT CLogSenderObject::MarkReportSent() noexcept {
  SetDateMark(kSendMark);
  if (std::exchange(m_bReportDelivered, false)) {
    RemoveReportedBytes(m_log2Xml.m_strLogFile.c_str(), m_log2Xml.FileData(),
                        m_log2Xml.FileDataBytes());
  }
  return S_OK;
}

}  // namespace suite
