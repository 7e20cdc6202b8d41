// Text clean-up for what the report writes: XML character data and the parts
// of file names that come from log texts.
#pragma once

#include <string>
#include <string_view>

namespace suite {

// True when every code unit may appear in XML 1.0 character data, so the
// common case needs no copy.
bool IsXmlTextClean(std::u16string_view text);

// Replaces each code unit XML 1.0 does not allow (controls other than TAB, LF
// and CR, U+FFFE, U+FFFF, unpaired surrogates) with U+FFFD. Surrogate pairs
// are kept.
std::u16string SanitizeXmlText(std::u16string_view text);

// Makes a log text safe as one file name component: path separators,
// wildcard and quoting characters, controls, unpaired surrogates, U+FFFE and
// U+FFFF become '_' (surrogate pairs are kept), and a text made only of dots
// and spaces gets its dots replaced so it can never name the current or the
// parent folder. An empty text stays empty.
std::u16string SanitizeFileNamePart(std::u16string_view text);

}  // namespace suite
