// The SQLite back-end of the store: one file, opened by "sqlite:PATH".
#pragma once

#include <memory>
#include <string>

#include "store/store.h"

namespace intake {

// Opens or creates the store at `path` and brings its schema to this build's
// version. Null with a one-line reason in *error when it cannot.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path, std::string* error);

}  // namespace intake
