#include "upload_target.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>

#include "command_line.h"
#include "tool_error.h"

namespace suite {

namespace {

std::wstring Lower(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  return lower;
}

// Four decimal parts of 0..255 without leading zeros: resolvers read
// "0177.0.0.1" as octal and "127.1" as 127.0.0.1, so only the plain form
// counts. The first octet in *first.
bool ParseDottedQuad(std::wstring_view text, unsigned* first) {
  unsigned parts = 0;
  while (parts < 4) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9' && digits < 3) {
      value = value * 10 + (text[digits] - L'0');
      ++digits;
    }
    if (digits == 0 || value > 255 || (digits > 1 && text[0] == L'0')) return false;
    if (parts == 0) *first = value;
    text.remove_prefix(digits);
    ++parts;
    if (parts < 4) {
      if (text.empty() || text[0] != L'.') return false;
      text.remove_prefix(1);
    }
  }
  return text.empty();
}

bool IsLoopbackIpv6(const std::wstring& host) {
  IN6_ADDR address;
  if (InetPtonW(AF_INET6, host.c_str(), &address) != 1) return false;
  static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (std::memcmp(address.s6_addr, kLoopback, 16) == 0) return true;
  // ::ffff:127.x.x.x reaches the IPv4 loopback.
  static const unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(address.s6_addr, kMappedPrefix, 12) == 0 && address.s6_addr[12] == 127;
}

[[noreturn]] void Refuse(const std::wstring& url, const std::wstring& why) {
  Fail(ExitStatus::kUsage, L"send: the URL " + Shown(url) + L" is refused: " + why);
}

}  // namespace

bool IsLoopbackHost(std::wstring_view hostGiven) {
  std::wstring host = Lower(hostGiven);
  if (host.size() >= 2 && host.front() == L'[' && host.back() == L']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host == L"localhost" || host == L"localhost.") return true;
  unsigned first = 0;
  if (ParseDottedQuad(host, &first)) return first == 127;
  return host.find(L':') != std::wstring::npos && IsLoopbackIpv6(host);
}

UploadTarget ParseUploadTarget(const std::wstring& url) {
  if (url.empty()) Refuse(url, L"it is empty");
  for (wchar_t c : url) {
    if (c <= L' ' || c == 0x7F) Refuse(url, L"it holds spaces or control characters");
  }
  const std::size_t schemeEnd = url.find(L"://");
  if (schemeEnd == std::wstring::npos) {
    Refuse(url, L"it is not an absolute http:// or https:// URL");
  }
  UploadTarget target;
  target.url = url;
  const std::wstring scheme = Lower(std::wstring_view(url).substr(0, schemeEnd));
  if (scheme != L"https" && scheme != L"http") {
    Refuse(url, L"only https:// (and http:// to loopback addresses) is supported");
  }
  target.secure = scheme == L"https";

  const std::wstring rest = url.substr(schemeEnd + 3);
  const std::size_t authorityEnd = std::min(rest.find_first_of(L"/?#"), rest.size());
  const std::wstring authority = rest.substr(0, authorityEnd);
  if (authority.find(L'@') != std::wstring::npos) {
    Refuse(url, L"credentials do not belong on a command line");
  }
  std::wstring portText;
  if (!authority.empty() && authority[0] == L'[') {
    const std::size_t close = authority.find(L']');
    if (close == std::wstring::npos) Refuse(url, L"its IPv6 address lacks the closing ']'");
    target.host = authority.substr(1, close - 1);
    portText = authority.substr(close + 1);
    IN6_ADDR address;
    if (InetPtonW(AF_INET6, target.host.c_str(), &address) != 1) {
      Refuse(url, L"its IPv6 address is malformed");
    }
  } else {
    const std::size_t colon = std::min(authority.find(L':'), authority.size());
    target.host = authority.substr(0, colon);
    portText = authority.substr(colon);
    for (wchar_t c : target.host) {
      if (!std::iswalnum(c) && c != L'.' && c != L'-' && c != L'_') {
        Refuse(url, L"its host is not a name or an IPv4 address");
      }
    }
  }
  if (target.host.empty()) Refuse(url, L"it names no host");
  target.port = target.secure ? 443 : 80;
  if (!portText.empty() && (portText[0] != L':' || portText.size() > 1)) {
    const std::optional<std::int64_t> port =
        portText[0] == L':' ? ParseInteger(portText.substr(1), 1, 65535) : std::nullopt;
    if (!port) Refuse(url, L"its port is not a number from 1 to 65535");
    target.port = static_cast<WORD>(*port);
  }

  target.loopback = IsLoopbackHost(target.host);
  if (!target.secure && !target.loopback) {
    Refuse(url,
           L"plain http is accepted only for loopback addresses (127.0.0.0/8, ::1, "
           L"localhost); use https");
  }
  // A fragment names a place in a page; it is never sent.
  target.path = rest.substr(authorityEnd);
  target.path = target.path.substr(0, target.path.find(L'#'));
  if (target.path.empty() || target.path[0] != L'/') target.path = L"/" + target.path;
  return target;
}

}  // namespace suite
