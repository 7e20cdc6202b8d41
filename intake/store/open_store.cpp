#include <exception>
#include <string_view>

#include "store/sqlite/sqlite_store.h"
#include "store/store.h"
#ifdef INTAKE_HAVE_POSTGRES
#include "store/postgres/postgres_store.h"
#endif

namespace intake {

std::unique_ptr<Store> OpenStore(const std::string& url, std::string* error) {
  try {
    const std::string_view view(url);
    if (view.starts_with("sqlite:")) {
      const std::string path(view.substr(7));
      if (path.empty()) {
        if (error) *error = "store URL " + url + " names no file";
        return nullptr;
      }
      return OpenSqliteStore(path, error);
    }
    if (view.starts_with("postgresql://") || view.starts_with("postgres://")) {
#ifdef INTAKE_HAVE_POSTGRES
      // The PostgreSQL back-end takes libpq's URI as it is.
      return OpenPostgresStore(url, error);
#else
      if (error) *error = "this build has no PostgreSQL store (libpq was not found)";
      return nullptr;
#endif
    }
    if (error) *error = "store URL " + url + " is neither sqlite:PATH nor postgresql://...";
  } catch (const std::exception& e) {
    if (error) *error = std::string("store ") + url + ": " + e.what();
  }
  return nullptr;
}

}  // namespace intake
