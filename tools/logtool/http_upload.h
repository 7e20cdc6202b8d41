// One POST of a body to an upload target through WinHTTP, with redirects
// switched off: a redirected POST would come back as a GET, and its answer
// would say nothing about whether the body arrived.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "upload_target.h"

namespace suite {

struct HttpAnswer {
  DWORD status = 0;         // the answer's status code
  std::wstring reason;      // its reason phrase
  std::wstring location;    // the Location header of a redirect, if any
  std::wstring retryAfter;  // the Retry-After header, if any (429, 503)
};

// `headers`: extra request headers, each line ending in "\r\n". `timeoutMs`
// bounds each step (name resolution, connection, sending, waiting for the
// answer). Fails with kNetwork when no answer came, and with kRefused when
// WinHTTP went to another URL than the target's.
HttpAnswer PostBody(const UploadTarget& target, std::string_view body, const std::wstring& headers,
                    DWORD timeoutMs);

}  // namespace suite
