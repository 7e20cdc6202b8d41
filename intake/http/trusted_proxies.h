// The proxies whose X-Forwarded-For is believed. A request from one of them
// is shown in the log as the client it names; from anyone else the header
// is ignored, since any client can write it.
#pragma once

#include <boost/asio/ip/address.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace intake {

class TrustedProxies {
 public:
  // False when `text` is not an IPv4 or IPv6 address.
  bool Add(std::string_view text);
  bool empty() const { return m_addresses.empty(); }
  bool Trusts(const boost::asio::ip::address& address) const;

  // The client behind `peer`: the peer itself unless it is trusted; then the
  // rightmost hop of `forwarded` (the X-Forwarded-For values in order,
  // joined by commas) that is not a trusted proxy. A hop that is not an
  // address ends the walk at the proxy that passed it on.
  boost::asio::ip::address ClientOf(const boost::asio::ip::address& peer,
                                    std::string_view forwarded) const;

 private:
  std::vector<boost::asio::ip::address> m_addresses;
};

}  // namespace intake
