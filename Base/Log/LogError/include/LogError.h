/* The error-log library's public interface, for C and C++ callers.
 *
 * Logging: LogError, LogWarning and LogException append one record to the
 * active log file. They never fail visibly; a record that cannot be written
 * is dropped. Any thread may call them at any time after the library loaded.
 * The texts are read during the call only; pszMessage should not be null
 * (a null is logged as an empty message), pszValue may be null (no value).
 *
 * Reports: the COM class CLSID_LogSender with the interface IKRLogSender.
 * GetReport returns -1 (sending not permitted now), 0 (permitted, no report
 * delivered) or 1 (permitted; the report is in *pbstrReport, owned by the
 * caller) in the HRESULT position. */
#ifndef LOGERROR_PUBLIC_H
#define LOGERROR_PUBLIC_H

#include <windows.h>
#include <objbase.h>

#ifdef BUILDING_LOGERROR
#define LOGERROR_API __declspec(dllexport)
#else
#define LOGERROR_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

LOGERROR_API void WINAPI LogError(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                  LPCWSTR pszValue);
LOGERROR_API void WINAPI LogWarning(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                    LPCWSTR pszValue);
LOGERROR_API void WINAPI LogException(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                      LPCWSTR pszValue);

/* For callers that load the library at run time (GetProcAddress by the
 * plain names "LogError", "LogWarning" and "LogException"). */
typedef void(WINAPI* PFN_LogError)(HMODULE hModule, LONG nCode, LPCWSTR pszMessage,
                                   LPCWSTR pszValue);
typedef PFN_LogError PFN_LogWarning;
typedef PFN_LogError PFN_LogException;

#ifdef __cplusplus
}
#endif

/* In C++17 and later each id is one object across the program, so its
 * address can name the class. */
#if defined(__cplusplus) && __cplusplus >= 201703L
#define LOGERROR_GUID inline constexpr
#else
#define LOGERROR_GUID static const
#endif

/* {B4D4A31A-62CC-4622-98AC-9E6255D1851F} */
LOGERROR_GUID CLSID CLSID_LogSender = {
    0xB4D4A31A, 0x62CC, 0x4622, {0x98, 0xAC, 0x9E, 0x62, 0x55, 0xD1, 0x85, 0x1F}};
/* {B04181FB-25E7-417A-B59E-D21413EB8C5D} */
LOGERROR_GUID IID IID_IKRLogSender = {
    0xB04181FB, 0x25E7, 0x417A, {0xB5, 0x9E, 0xD2, 0x14, 0x13, 0xEB, 0x8C, 0x5D}};

#ifdef __cplusplus
/* __uuidof(IKRLogSender) and __uuidof(LogSender) work with MSVC, clang and
 * mingw alike. */
class DECLSPEC_UUID("B4D4A31A-62CC-4622-98AC-9E6255D1851F") LogSender;
MIDL_INTERFACE("B04181FB-25E7-417A-B59E-D21413EB8C5D")
IKRLogSender : public IUnknown {
 public:
  /* Saves one report file per product version into bstrFolder (null: the
   * data folder; any other text is used as the folder). S_OK when every document was built and
   * saved, else E_FAIL. */
  virtual HRESULT STDMETHODCALLTYPE SaveReport(BSTR bstrFolder) = 0;
  /* -1, 0 or 1 as described above; builds only when lBuild > 0. */
  virtual HRESULT STDMETHODCALLTYPE GetReport(BSTR * pbstrReport, LONG lBuild) = 0;
  /* Sets the send mark and removes the records of the report text that this
   * object's GetReport delivered (returned 1), if any. Always S_OK. */
  virtual HRESULT STDMETHODCALLTYPE MarkReportSent() = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IKRLogSender, 0xB04181FB, 0x25E7, 0x417A, 0xB5, 0x9E, 0xD2, 0x14, 0x13, 0xEB, 0x8C,
                0x5D)
__CRT_UUID_DECL(LogSender, 0xB4D4A31A, 0x62CC, 0x4622, 0x98, 0xAC, 0x9E, 0x62, 0x55, 0xD1, 0x85,
                0x1F)
#endif
#else
typedef struct IKRLogSender IKRLogSender;
typedef struct IKRLogSenderVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IKRLogSender* This, REFIID riid, void** ppvObject);
  ULONG(STDMETHODCALLTYPE* AddRef)(IKRLogSender* This);
  ULONG(STDMETHODCALLTYPE* Release)(IKRLogSender* This);
  HRESULT(STDMETHODCALLTYPE* SaveReport)(IKRLogSender* This, BSTR bstrFolder);
  HRESULT(STDMETHODCALLTYPE* GetReport)(IKRLogSender* This, BSTR* pbstrReport, LONG lBuild);
  HRESULT(STDMETHODCALLTYPE* MarkReportSent)(IKRLogSender* This);
} IKRLogSenderVtbl;
struct IKRLogSender {
  const IKRLogSenderVtbl* lpVtbl;
};
#endif

#endif /* LOGERROR_PUBLIC_H */
