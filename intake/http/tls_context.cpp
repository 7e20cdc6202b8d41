#include "tls_context.h"

#include <openssl/ssl.h>

#include <boost/asio/ssl/context.hpp>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace intake {

namespace ssl = boost::asio::ssl;

namespace {
// OpenSSL's own message for a missing file says little; the system's does.
bool Readable(const std::string& what, const std::string& file, std::string* error) {
  std::ifstream probe(file, std::ios::binary);
  if (probe && probe.peek() != std::ifstream::traits_type::eof()) return true;
  *error = "cannot read the TLS " + what + " " + file + ": " +
           (probe ? std::string("the file is empty") : std::string(std::strerror(errno)));
  return false;
}
}  // namespace

std::unique_ptr<ssl::context> LoadTlsContext(const std::string& certificate_file,
                                             const std::string& key_file, std::string* error) {
  auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                       ssl::context::single_dh_use);
  if (SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION) != 1) {
    *error = "this OpenSSL cannot be limited to TLS 1.2 and newer";
    return nullptr;
  }
  if (!Readable("certificate", certificate_file, error) || !Readable("key", key_file, error)) {
    return nullptr;
  }
  boost::system::error_code ec;
  context->use_certificate_chain_file(certificate_file, ec);
  if (ec) {
    *error = "cannot use the TLS certificate " + certificate_file + ": " + ec.message();
    return nullptr;
  }
  context->use_private_key_file(key_file, ssl::context::pem, ec);
  if (ec) {
    *error = "cannot use the TLS key " + key_file + ": " + ec.message();
    return nullptr;
  }
  if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
    *error = "the TLS key " + key_file + " does not belong to the certificate " + certificate_file;
    return nullptr;
  }
  return context;
}

}  // namespace intake
