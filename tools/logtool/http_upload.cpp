#include "http_upload.h"

#include <vector>

#include "proxy_settings.h"
#include "tool_error.h"
#include "tool_owners.h"

namespace suite {

namespace {

// Socket error codes that some WinHTTP versions (Wine's) pass through.
constexpr DWORD kSocketTimedOut = 10060;
constexpr DWORD kSocketRefused = 10061;
constexpr DWORD kSocketReset = 10054;

std::wstring TransportFailure(DWORD error, const UploadTarget& target, DWORD timeoutMs) {
  const std::wstring where = L" (" + Shown(target.url) + L")";
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case kSocketTimedOut:
      return L"no answer within " + std::to_wstring(timeoutMs / 1000) + L" s" + where;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return L"the host name " + Shown(target.host) + L" cannot be resolved" + where;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case kSocketRefused:
      return L"cannot connect to " + target.host + L":" + std::to_wstring(target.port) + where;
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case kSocketReset:
      return L"the connection was reset" + where;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return L"the TLS connection failed (certificate not trusted or not valid for the host)" +
             where;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return L"the server's answer is not HTTP" + where;
    default:
      return L"the upload failed (WinHTTP error " + std::to_wstring(error) + L")" + where;
  }
}

[[noreturn]] void FailTransport(const UploadTarget& target, DWORD timeoutMs) {
  const DWORD error = GetLastError();
  Fail(ExitStatus::kNetwork, TransportFailure(error, target, timeoutMs));
}

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
  if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return std::wstring(text.data(), bytes / sizeof(wchar_t));
}

std::wstring RequestUrl(HINTERNET request) {
  DWORD bytes = 0;
  WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &bytes);
  if (bytes == 0) return {};
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, text.data(), &bytes)) return {};
  return std::wstring(text.data(), bytes / sizeof(wchar_t));
}

// Either switch suffices; which one a WinHTTP knows differs between versions.
bool DisableRedirects(HINTERNET request) {
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  const bool policySet =
      WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  DWORD feature = WINHTTP_DISABLE_REDIRECTS;
  const bool featureSet =
      WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
  return policySet || featureSet;
}

}  // namespace

HttpAnswer PostBody(const UploadTarget& target, std::string_view body, const std::wstring& headers,
                    DWORD timeoutMs) {
  if (body.size() > MAXDWORD) Fail(ExitStatus::kFile, L"the report is too large to upload");
  UniqueWinHttpHandle session;
  session.reset(WinHttpOpen(L"logtool/1.0", SessionAccessType(target), WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) FailTransport(target, timeoutMs);
  const int timeout = static_cast<int>(timeoutMs);
  if (!WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout)) {
    FailTransport(target, timeoutMs);
  }
  UniqueWinHttpHandle connection;
  // An IPv6 address goes in brackets, as the Host header must carry it.
  const std::wstring connectHost =
      target.host.find(L':') != std::wstring::npos ? L"[" + target.host + L"]" : target.host;
  connection.reset(WinHttpConnect(session.get(), connectHost.c_str(), target.port, 0));
  if (!connection) FailTransport(target, timeoutMs);
  UniqueWinHttpHandle request;
  request.reset(WinHttpOpenRequest(connection.get(), L"POST", target.path.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) FailTransport(target, timeoutMs);
  // The wait for the answer's headers has a timeout of its own, which
  // WinHttpSetTimeouts leaves alone in some WinHTTP versions (Wine's among them).
  DWORD responseTimeout = timeoutMs;
  if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                        sizeof(responseTimeout))) {
    FailTransport(target, timeoutMs);
  }
  if (!DisableRedirects(request.get())) {
    Fail(ExitStatus::kInternal, L"WinHTTP cannot be kept from following redirects");
  }
  ApplyUserProxy(session.get(), request.get(), target);
  const std::wstring requestedUrl = RequestUrl(request.get());

  const DWORD length = static_cast<DWORD>(body.size());
  if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                          const_cast<char*>(body.data()), length, length, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    FailTransport(target, timeoutMs);
  }

  HttpAnswer answer;
  DWORD bytes = sizeof(answer.status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &answer.status, &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    FailTransport(target, timeoutMs);
  }
  answer.reason = QueryText(request.get(), WINHTTP_QUERY_STATUS_TEXT);
  answer.location = QueryText(request.get(), WINHTTP_QUERY_LOCATION);
  answer.retryAfter = QueryText(request.get(), WINHTTP_QUERY_RETRY_AFTER);
  // The answer must be the target's own: a followed redirect would make a
  // GET's success look like the upload's.
  const std::wstring answeredUrl = RequestUrl(request.get());
  if (!requestedUrl.empty() && answeredUrl != requestedUrl) {
    Fail(ExitStatus::kRefused,
         L"WinHTTP followed a redirect to " + answeredUrl + L"; nothing was marked sent");
  }
  return answer;
}

}  // namespace suite
