// The order of product versions: part by part at the dots, parts that are
// all digits as numbers of any length (1.9.0.0 < 1.10.0.0 < 2.0.0.0), parts
// that are not after every number and as text among themselves; when one
// version is the other's prefix, the shorter comes first. Parts equal as
// numbers ("01" and "1") make versions equivalent.
#pragma once

#include <compare>
#include <string_view>

namespace intake::dashboard {

std::weak_ordering CompareVersions(std::string_view a, std::string_view b);

// For sorting highest first.
struct HigherVersionFirst {
  bool operator()(std::string_view a, std::string_view b) const {
    const auto order = CompareVersions(a, b);
    return order != 0 ? order > 0 : a > b;  // "1.0" and "1.00": one order
  }
};

}  // namespace intake::dashboard
