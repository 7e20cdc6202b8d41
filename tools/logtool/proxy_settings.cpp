#include "proxy_settings.h"

#include "tool_owners.h"

namespace suite {

DWORD SessionAccessType(const UploadTarget& target) {
  return target.loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
}

void ApplyUserProxy(HINTERNET session, HINTERNET request, const UploadTarget& target) {
  if (target.loopback) return;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) return;
  UniqueGlobalText autoConfigUrl, proxy, bypass;
  autoConfigUrl.reset(user.lpszAutoConfigUrl);
  proxy.reset(user.lpszProxy);
  bypass.reset(user.lpszProxyBypass);

  if (user.fAutoDetect || autoConfigUrl) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (autoConfigUrl) {
      options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = autoConfigUrl.get();
    } else {
      options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO found = {};
    if (WinHttpGetProxyForUrl(session, target.url.c_str(), &options, &found)) {
      UniqueGlobalText foundProxy, foundBypass;
      foundProxy.reset(found.lpszProxy);
      foundBypass.reset(found.lpszProxyBypass);
      WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof(found));
      return;
    }
  }
  if (proxy) {
    WINHTTP_PROXY_INFO fixed = {};
    fixed.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    fixed.lpszProxy = proxy.get();
    fixed.lpszProxyBypass = bypass.get();
    WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &fixed, sizeof(fixed));
  }
}

}  // namespace suite
