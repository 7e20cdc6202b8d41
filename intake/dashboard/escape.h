// One escaping function per context a page writes client text into. Every
// message, value, version and cursor passes through one of these where it
// is written; nothing else puts client text into markup.
#pragma once

#include <string>
#include <string_view>

namespace intake::dashboard {

// Text between tags, in HTML and in inline SVG: & < > " ' as references,
// C0 controls other than tab and line ends as U+FFFD, invalid UTF-8 as
// U+FFFD. Bidi controls stay as characters; pages isolate client text in
// <bdi> so they cannot reorder what is around it.
std::string HtmlText(std::string_view text);

// A double-quoted attribute value: the same as HtmlText, which already
// leaves no quote, ampersand or angle bracket.
std::string Attribute(std::string_view text);

// One path segment or query value: every byte but A-Z a-z 0-9 - . _ ~ as
// %XX. The result holds no character that HTML gives a meaning to.
std::string UrlComponent(std::string_view text);

// The reverse for a query or path component ('+' is a space); false for a
// broken escape.
bool DecodeUrlComponent(std::string_view text, std::string* out);

}  // namespace intake::dashboard
