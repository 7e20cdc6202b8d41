#include "trusted_proxies.h"

#include <algorithm>
#include <optional>

namespace intake {

namespace ip = boost::asio::ip;

namespace {

// A v4 client of a socket bound to "::" shows as ::ffff:a.b.c.d.
ip::address Plain(const ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return ip::make_address_v4(ip::v4_mapped, address.to_v6());
  }
  return address;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// "a.b.c.d", "a.b.c.d:port", "v6", "[v6]", "[v6]:port".
std::optional<ip::address> ParseHop(std::string_view hop) {
  hop = Trimmed(hop);
  if (hop.starts_with('[')) {
    const auto close = hop.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    hop = hop.substr(1, close - 1);
  } else if (const auto colon = hop.find(':'); colon != std::string_view::npos &&
                                               hop.find(':', colon + 1) == std::string_view::npos) {
    hop = hop.substr(0, colon);
  }
  boost::system::error_code ec;
  const ip::address address = ip::make_address(std::string(hop), ec);
  if (ec) return std::nullopt;
  return Plain(address);
}

}  // namespace

bool TrustedProxies::Add(std::string_view text) {
  boost::system::error_code ec;
  const ip::address address = ip::make_address(std::string(Trimmed(text)), ec);
  if (ec || Trimmed(text) != text) return false;
  m_addresses.push_back(Plain(address));
  return true;
}

bool TrustedProxies::Trusts(const ip::address& address) const {
  return std::find(m_addresses.begin(), m_addresses.end(), Plain(address)) != m_addresses.end();
}

ip::address TrustedProxies::ClientOf(const ip::address& peer, std::string_view forwarded) const {
  ip::address client = Plain(peer);
  if (!Trusts(client)) return client;
  while (!forwarded.empty()) {
    const auto comma = forwarded.rfind(',');
    const std::string_view hop =
        comma == std::string_view::npos ? forwarded : forwarded.substr(comma + 1);
    forwarded = comma == std::string_view::npos ? std::string_view{} : forwarded.substr(0, comma);
    if (Trimmed(hop).empty()) continue;
    const auto address = ParseHop(hop);
    if (!address) break;
    client = *address;
    if (!Trusts(client)) break;
  }
  return client;
}

}  // namespace intake
