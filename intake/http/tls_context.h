// The server side of https: one TLS context made from a PEM certificate
// chain and its private key, TLS 1.2 and newer only.
#pragma once

#include <memory>
#include <string>

namespace boost::asio::ssl {
class context;
}

namespace intake {

// Null with a one-line reason in *error when either file cannot be read or
// the key does not belong to the certificate.
std::unique_ptr<boost::asio::ssl::context> LoadTlsContext(const std::string& certificate_file,
                                                          const std::string& key_file,
                                                          std::string* error);

}  // namespace intake
