// Scoped owners for libpq's handles: a connection closes, and a result is
// cleared, when its owner goes, on every path.
#pragma once

#include <libpq-fe.h>

#include <memory>

namespace intake::pg {

struct ConnCloser {
  void operator()(PGconn* conn) const noexcept { PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const noexcept { PQclear(result); }
};

using ConnPtr = std::unique_ptr<PGconn, ConnCloser>;
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

}  // namespace intake::pg
