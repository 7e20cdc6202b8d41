// What the dashboard's pages read from the store: figures per product
// version, a version's items with their recent days, and where an item's
// kind, code and message occur. Summary rows behind these are kept up to
// date by the commit's own transaction, so the pages agree with the API.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fold/folded_upload.h"

namespace intake {

enum class ItemSort;  // store/store.h

// A UTC day number (days since 1970-01-01) and what it holds.
struct DayFigure {
  std::int64_t day = 0;
  std::uint64_t count = 0;
};

struct VersionFigures {
  std::string product_ver;
  std::uint64_t uploads = 0;
  std::uint64_t clients = 0;
  std::uint64_t items = 0;
  // The sum of Counts of every item but the account records.
  std::uint64_t occurrences = 0;
  // Records the clients' account records say were lost.
  std::uint64_t records_lost = 0;
  std::vector<DayFigure> days;  // occurrences per day from the query's first day, oldest first
};

// The dimensions a version's items can be filtered by, each distinct value once.
struct VersionFacets {
  std::vector<std::string> kinds;
  std::vector<std::string> dll_vers;
  std::vector<std::string> app_vers;
};

struct VersionItemQuery {
  std::string product_ver;
  std::optional<std::string> kind;
  std::optional<std::string> dll_ver;
  std::optional<std::string> app_ver;
  std::optional<std::string> text;  // a substring of message or value
  ItemSort sort{};
  std::uint32_t limit = 50;
  std::optional<std::string> after;  // the cursor of ItemPage::next
  std::int64_t first_day = 0;        // recent days of each row from this day on
};

struct VersionItem {
  std::int64_t id = 0;
  ItemKey key;
  std::uint64_t count = 0;
  std::uint64_t clients = 0;
  std::int64_t first_seen = 0;
  std::int64_t last_seen = 0;
  std::vector<DayFigure> days;
  // Every version in which an item of the same kind, code and message was
  // received, this one included.
  std::vector<std::string> identity_versions;
};

struct VersionItemPage {
  std::vector<VersionItem> items;
  std::optional<std::string> next;
};

// One product version's share of an item's kind, code and message.
struct IdentityInVersion {
  std::string product_ver;
  std::uint64_t count = 0;
  std::uint64_t clients = 0;  // distinct clients over the version's matching items
  std::uint64_t items = 0;
};

}  // namespace intake
