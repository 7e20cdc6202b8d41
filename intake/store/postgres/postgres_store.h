// The store on PostgreSQL, for "postgresql://USER@HOST:PORT/DB" URLs (libpq's
// URI form; a socket folder as "?host=FOLDER"). Any number of processes may
// share one database: upload keys, counts and the rate limit live in it.
#pragma once

#include <memory>
#include <string>

#include "store/store.h"

namespace intake {

// Connects, and creates or upgrades the schema under an advisory lock.
// Null with a one-line reason in *error when the server cannot be reached
// or the schema cannot be brought up to date. Once open, the store rides
// out the server going away: calls then fail fast as unavailable, and the
// store reconnects by itself on a later call.
std::unique_ptr<Store> OpenPostgresStore(const std::string& url, std::string* error);

}  // namespace intake
