#include "dashboard/version_order.h"

#include <algorithm>

namespace intake::dashboard {
namespace {

bool AllDigits(std::string_view part) {
  return !part.empty() &&
         std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Numbers of any length: without their leading zeros, the longer is larger.
std::weak_ordering CompareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() <=> b.size();
  return a.compare(b) <=> 0;
}

std::weak_ordering CompareParts(std::string_view a, std::string_view b) {
  const bool a_number = AllDigits(a);
  const bool b_number = AllDigits(b);
  if (a_number && b_number) return CompareNumbers(a, b);
  if (a_number != b_number)
    return a_number ? std::weak_ordering::less : std::weak_ordering::greater;
  return a.compare(b) <=> 0;
}

std::string_view NextPart(std::string_view& rest) {
  const auto dot = rest.find('.');
  const std::string_view part = rest.substr(0, dot);
  rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
  return part;
}

}  // namespace

std::weak_ordering CompareVersions(std::string_view a, std::string_view b) {
  // An empty version has no parts; "1." has an empty last part.
  bool a_more = !a.empty();
  bool b_more = !b.empty();
  while (a_more && b_more) {
    const bool a_last = a.find('.') == std::string_view::npos;
    const bool b_last = b.find('.') == std::string_view::npos;
    const auto order = CompareParts(NextPart(a), NextPart(b));
    if (order != 0) return order;
    a_more = !a_last;
    b_more = !b_last;
  }
  if (a_more == b_more) return std::weak_ordering::equivalent;
  return a_more ? std::weak_ordering::greater : std::weak_ordering::less;
}

}  // namespace intake::dashboard
