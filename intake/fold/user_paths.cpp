#include "fold/user_paths.h"

#include <algorithm>
#include <cctype>

namespace intake {

namespace {

constexpr std::string_view kProfileFolders[] = {"Users\\", "Documents and Settings\\"};
constexpr std::string_view kSharedProfiles[] = {"Public", "Default", "Default User", "All Users"};
constexpr std::string_view kReplacement = "%USERPROFILE%";

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return Lower(a) == Lower(b); });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool EndsName(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("\\/<>:\"|?*").find(c) != std::string_view::npos;
}

bool IsAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The length of "X:\Users\NAME" at `at` (the drive letter), or 0 when no
// user's profile path starts there.
std::size_t ProfilePathAt(std::string_view text, std::size_t at) {
  if (!std::isalpha(static_cast<unsigned char>(text[at]))) return 0;
  if (at > 0 && IsAsciiAlnum(text[at - 1])) return 0;  // "ABC:\..." names no drive
  std::string_view rest = text.substr(at + 1);
  if (!rest.starts_with(":\\")) return 0;
  rest.remove_prefix(2);
  for (std::string_view folder : kProfileFolders) {
    if (!StartsWithNoCase(rest, folder)) continue;
    const std::string_view after = rest.substr(folder.size());
    const auto end = std::find_if(after.begin(), after.end(), EndsName);
    const std::string_view name = after.substr(0, static_cast<std::size_t>(end - after.begin()));
    if (name.empty()) return 0;
    for (std::string_view shared : kSharedProfiles) {
      if (EqualsNoCase(name, shared)) return 0;
    }
    return 3 + folder.size() + name.size();
  }
  return 0;
}

}  // namespace

std::string WithoutUserNames(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  // Every path starts ":\" after its drive letter: look only there.
  for (std::size_t colon = text.find(":\\", 1); colon != std::string_view::npos;
       colon = text.find(":\\", colon + 1)) {
    const std::size_t drive = colon - 1;
    if (drive < copied) continue;
    const std::size_t length = ProfilePathAt(text, drive);
    if (length == 0) continue;
    out.append(text.substr(copied, drive - copied));
    out.append(kReplacement);
    copied = drive + length;
    colon = copied - 1;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace intake
