#include "fresh_store_url.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

namespace intake::test {
namespace {

std::map<std::string, FreshStoreMaker>& Makers() {
  static std::map<std::string, FreshStoreMaker> makers;
  return makers;
}

std::optional<FreshStore> MakeFreshSqliteStore(std::string* error) {
  std::error_code failure;
  const auto folder =
      std::filesystem::temp_directory_path(failure) /
      ("intake-store-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()));
  if (failure || !std::filesystem::create_directory(folder, failure)) {
    *error = "no temporary folder: " + failure.message();
    return std::nullopt;
  }
  return FreshStore{"sqlite:" + (folder / "intake.db").string(), [folder] {
                      std::error_code ignored;
                      std::filesystem::remove_all(folder, ignored);
                    }};
}

}  // namespace

bool RegisterFreshStoreMaker(const std::string& scheme, FreshStoreMaker maker) {
  Makers()[scheme] = std::move(maker);
  return true;
}

std::optional<FreshStore> MakeFreshStoreUrl(const std::string& base, std::string* error) {
  if (base.starts_with("sqlite:")) return MakeFreshSqliteStore(error);
  for (const auto& [scheme, maker] : Makers()) {
    if (base.starts_with(scheme)) return maker(base, error);
  }
  *error = "no fresh-store maker for " + base;
  return std::nullopt;
}

std::vector<StoreBackend> StoreBackends() {
  return {
      {"SQLite", "sqlite:", ""},
      {"PostgreSQL", "", "INTAKE_TEST_PG_URL"},
  };
}

}  // namespace intake::test
