#include <gtest/gtest.h>

#include <string>

#include "report/xml_text.h"

using namespace suite;

namespace {

TEST(XmlText, ReplacesExactlyTheUnitsXmlForbids) {
  const struct {
    std::u16string in;
    std::u16string out;
  } kCases[] = {
      {u"", u""},
      {u"plain text", u"plain text"},
      {u"a\tb\nc\rd", u"a\tb\nc\rd"},
      {std::u16string(u"a\0b", 3), u"a\uFFFDb"},
      {u"\x01\x08\x0B\x0C\x0E\x1F", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {u"\x20\uD7FF\uE000\uFFFD", u"\x20\uD7FF\uE000\uFFFD"},
      {u"x\uFFFEy\uFFFF", u"x\uFFFDy\uFFFD"},
      {u"\U0001F3B5", u"\U0001F3B5"},  // a surrogate pair
      {u"a\xD83C", u"a\uFFFD"},        // high at the end
      {u"\xD83Cz", u"\uFFFDz"},        // high before a non-low
      {u"\xDFB5z", u"\uFFFDz"},        // lone low
      {u"\xDFB5\xD83C", u"\uFFFD\uFFFD"},
      {u"\xD83C\xD83C\xDFB5", u"\uFFFD\U0001F3B5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(SanitizeXmlText(c.in), c.out);
    EXPECT_EQ(IsXmlTextClean(c.in), c.in == c.out);
  }
}

TEST(FileNamePart, ReplacesPathAndReservedCharacters) {
  const struct {
    std::u16string in;
    std::u16string out;
  } kCases[] = {
      {u"", u""},
      {u"Player 2.0", u"Player 2.0"},
      {u"a\\b/c:d*e?f\"g<h>i|j", u"a_b_c_d_e_f_g_h_i_j"},
      {u"tab\there\x1F", u"tab_here_"},
      {u".", u"_"},
      {u"..", u"__"},
      {u". .", u"_ _"},
      {u"...", u"___"},
      {u"..\\..", u".._.."},
      {u".hidden", u".hidden"},
      {u"9\uFFFE\uFFFF", u"9__"},
      {u"v\U0001F3B5", u"v\U0001F3B5"},         // a surrogate pair
      {u"a\xD83C", u"a_"},                      // high at the end
      {u"\xD83Cz\xDFB5", u"_z_"},               // high before a non-low; lone low
      {u"\xDFB5\xD83C\xDFB5", u"_\U0001F3B5"},  // a low before a pair
      {u".\xD83C.", u"._."},                    // no longer only dots
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(SanitizeFileNamePart(c.in), c.out);
  }
}

}  // namespace
