// `logtool send`: the reference sending client. It asks permission, uploads
// the report and marks it sent only when the URL itself accepted it with a
// 2xx answer; on anything else the pending log stays whole for the next try.
#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "content_key.h"
#include "crt_api.h"
#include "http_upload.h"
#include "sender_client.h"
#include "tool_error.h"
#include "upload_target.h"

namespace suite {

namespace {

constexpr std::int64_t kDefaultTimeoutSeconds = 30;
constexpr std::int64_t kMaxTimeoutSeconds = 3600;

// The client identifier that the report's UUID attribute carries too, for
// collectors that route before they parse. It comes from settings.ini, which
// anyone can edit, so only a GUID-like text may become a header line.
std::wstring ClientIdHeader() {
  wchar_t uuid[260] = {};
  GetClientUuid(uuid, 260);
  uuid[259] = L'\0';
  const std::wstring text = uuid;
  if (text.empty() || text.size() > 64) return {};
  for (wchar_t c : text) {
    if (!std::iswxdigit(c) && c != L'-' && c != L'{' && c != L'}') return {};
  }
  return L"X-Client-Id: " + text + L"\r\n";
}

// Seconds as they came; anything else (an HTTP date, junk) quoted and cut short.
std::wstring RetryAfterText(const std::wstring& value) {
  const bool seconds = value.size() <= 10 && std::all_of(value.begin(), value.end(), [](wchar_t c) {
                         return c >= L'0' && c <= L'9';
                       });
  return seconds ? value : Shown(value);
}

}  // namespace

int SendCommand(std::span<const std::wstring> args) {
  static constexpr OptionSpec kOptions[] = {{L"--url", true}, {L"--timeout", true}};
  const CommandLine line(L"send", args, kOptions);
  line.ExpectPositionals(0, 0, L"");
  const std::optional<std::wstring> url = line.Value(L"--url");
  if (!url) line.UsageError(L"--url URL is missing");
  std::int64_t timeoutSeconds = kDefaultTimeoutSeconds;
  if (const std::optional<std::wstring> text = line.Value(L"--timeout")) {
    const std::optional<std::int64_t> seconds = ParseInteger(*text, 1, kMaxTimeoutSeconds);
    if (!seconds) line.UsageError(L"--timeout must be whole seconds from 1 to 3600");
    timeoutSeconds = *seconds;
  }
  // Refused URLs are refused before anything is read or connected.
  const UploadTarget target = ParseUploadTarget(*url);

  ComApartment apartment;
  ComPtr<IKRLogSender> sender = CreateLogSender();
  UniqueBstr report = FetchReport(sender.get());
  const std::string body = ToUtf8(std::wstring_view(report.get(), SysStringLen(report.get())));
  report.reset();
  const std::wstring key = ContentKey(body);
  const std::wstring headers =
      L"Content-Type: application/xml; charset=utf-8\r\n"
      L"Idempotency-Key: " +
      key + L"\r\n" + ClientIdHeader();

  const HttpAnswer answer =
      PostBody(target, body, headers, static_cast<DWORD>(timeoutSeconds * 1000));
  const std::wstring said =
      std::to_wstring(answer.status) + (answer.reason.empty() ? L"" : L" " + Shown(answer.reason));
  if (answer.status >= 300 && answer.status < 400) {
    Fail(ExitStatus::kRefused,
         target.url + L" answered " + said + L" (redirect" +
             (answer.location.empty() ? L"" : L" to " + Shown(answer.location)) +
             L", not followed); nothing was marked sent");
  }
  if (answer.status < 200 || answer.status >= 300) {
    // A server that throttles (429) or is busy (503) says when to come back;
    // the operator sees it, and the pending log waits whole until then.
    const bool saysWhen =
        (answer.status == 429 || answer.status == 503) && !answer.retryAfter.empty();
    Fail(ExitStatus::kRefused,
         target.url + L" answered " + said +
             (saysWhen ? L" (Retry-After: " + RetryAfterText(answer.retryAfter) + L")" : L"") +
             L"; nothing was marked sent");
  }
  // Delivered. A kill before the removal below sends these records again;
  // the Idempotency-Key lets the collector drop that repeat.
  sender->MarkReportSent();
  WriteLine(STD_OUTPUT_HANDLE, L"sent " + std::to_wstring(body.size()) + L" bytes to " +
                                   target.url + L" (" + said + L", key " + key + L")");
  return 0;
}

}  // namespace suite
