// Fresh, empty stores for the store table: one per test case, made from the
// base URL of a back-end.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace intake::test {

struct FreshStore {
  std::string url;
  std::function<void()> remove;  // drops what was made; may be empty
};

// Makes a fresh store from `base`, or nullopt with the reason in *error.
using FreshStoreMaker =
    std::function<std::optional<FreshStore>(const std::string& base, std::string* error)>;

// For base URLs that start with `scheme` (e.g. "postgresql:"). A back-end's
// test file registers its maker from a static initialiser.
bool RegisterFreshStoreMaker(const std::string& scheme, FreshStoreMaker maker);

// "sqlite:" gives a new file in a new temporary folder; other schemes ask
// their registered maker (a new database or schema through the base URL).
std::optional<FreshStore> MakeFreshStoreUrl(const std::string& base, std::string* error);

// The back-ends the store table runs against: a name, and either a fixed
// base URL or the environment variable that holds one. A new back-end adds
// a row.
struct StoreBackend {
  std::string name;
  std::string base_url;
  std::string base_url_variable;
};
std::vector<StoreBackend> StoreBackends();
inline void PrintTo(const StoreBackend& backend, std::ostream* out) { *out << backend.name; }

}  // namespace intake::test
