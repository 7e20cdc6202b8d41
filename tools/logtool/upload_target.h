// Where `logtool send` may upload to: https anywhere, plain http only to the
// loopback interface, where nothing leaves the machine.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace suite {

struct UploadTarget {
  std::wstring url;  // as given
  bool secure = false;
  bool loopback = false;
  std::wstring host;  // without IPv6 brackets
  WORD port = 0;
  std::wstring path;  // path and query, never empty
};

// Fails with kUsage for anything but an absolute http or https URL with a
// host name, an IPv4 address or a bracketed IPv6 address, and an optional
// port; for credentials in the URL; and for plain http to a host that is not
// a loopback address. Decided from the text alone: nothing is resolved or
// connected. The parse is the tool's own, so it reads URLs alike on every
// WinHTTP version (some split "[::1]" at its first colon).
UploadTarget ParseUploadTarget(const std::wstring& url);

// "localhost", 127.0.0.0/8 in strict dotted-decimal form, or ::1 (also as
// ::ffff:127.x.x.x). Names are not resolved: "127.0.0.1.example" is a name.
bool IsLoopbackHost(std::wstring_view host);

}  // namespace suite
