#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format/log_record_walk.h"
#include "report/log_parse.h"
#include "support/linear_fold.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using logtest::LogBytesBuilder;
using logtest::RecordFields;
using Bytes = std::vector<std::uint8_t>;

// Owns the file bytes, since the tree borrows its texts from them.
struct Parsed {
  Bytes bytes;
  bool bOk = false;
  ProductList products;
};

Parsed Parse(Bytes bytes) {
  Parsed parsed;
  parsed.bytes = std::move(bytes);
  parsed.bOk = ParseLogRecords(parsed.bytes.data(), parsed.bytes.size(), parsed.products);
  return parsed;
}

// The items of the only product/app/module, for tests about item rules.
const std::vector<std::unique_ptr<ErrorItem>>& OnlyModuleItems(const ProductList& products) {
  EXPECT_EQ(products.size(), 1u);
  EXPECT_EQ(products.at(0)->vecApps.size(), 1u);
  EXPECT_EQ(products.at(0)->vecApps.at(0)->vecModules.size(), 1u);
  return products.at(0)->vecApps.at(0)->vecModules.at(0)->vecItems;
}

int TotalCount(const ProductList& products) {
  int n = 0;
  for (const auto& p : products)
    for (const auto& a : p->vecApps)
      for (const auto& m : a->vecModules)
        for (const auto& e : m->vecItems) n += e->nCount;
  return n;
}

bool Inside(std::u16string_view text, const Bytes& bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  return p >= bytes.data() && p + text.size() * 2 <= bytes.data() + bytes.size();
}

// A file header of another version or revision hides its records; a short or
// damaged one does not (log_resync_test.cpp), but without whole records
// behind it the bytes are no log.
TEST(LogFileHeader, RejectsShortOrForeignHeadersAndAcceptsAnEmptyLog) {
  const auto withHeader = [](std::uint32_t magic, std::uint32_t version, std::uint32_t revision) {
    return LogBytesBuilder(LogFileHeader{magic, version, revision}).Record().Bytes();
  };
  const Bytes valid = LogBytesBuilder().Bytes();
  const struct {
    const char* name;
    Bytes bytes;
  } kBad[] = {
      {"empty", {}},
      {"11 bytes", Bytes(valid.begin(), valid.end() - 1)},
      {"version 2", withHeader(kLogFileMagic, 2, kLogFileRevision)},
      {"revision 2", withHeader(kLogFileMagic, kLogFileVersion, 2)},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.name);
    const Parsed parsed = Parse(c.bytes);
    EXPECT_FALSE(parsed.bOk);
    EXPECT_TRUE(parsed.products.empty());
  }

  ProductList products;
  EXPECT_FALSE(ParseLogRecords(nullptr, 0, products));
  ASSERT_EQ(valid.size(), 12u);
  const Parsed empty = Parse(valid);
  EXPECT_TRUE(empty.bOk);
  EXPECT_TRUE(empty.products.empty());

  const Parsed wrongMagic = Parse(withHeader(kLogFileMagic ^ 1, kLogFileVersion, kLogFileRevision));
  EXPECT_TRUE(wrongMagic.bOk);
  EXPECT_EQ(TotalCount(wrongMagic.products), 1);
}

TEST(LogFold, RecordsDifferingOnlyInIgnoredFieldsShareOneItem) {
  RecordFields a;
  RecordFields b = a;
  b.time.Second = 46;
  b.formatTag = 99;
  RecordFields c = a;
  c.time.Year = 2031;
  c.reserved = 0xFFFFFFFF;
  const Bytes bytes = LogBytesBuilder().Record(a).Record(b).Record(c).Bytes();

  const Parsed parsed = Parse(bytes);
  ASSERT_TRUE(parsed.bOk);
  const auto& items = OnlyModuleItems(parsed.products);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->nCount, 3);
  EXPECT_EQ(items[0]->nKind, 1u);
  EXPECT_EQ(items[0]->nErrorCode, kDefaultErrorCode);
  EXPECT_EQ(items[0]->pszMessage, u"Something failed");
  EXPECT_FALSE(items[0]->pszValue.has_value());
  const auto& product = *parsed.products[0];
  EXPECT_EQ(product.strProductVersion, u"1.0.0.1");
  EXPECT_EQ(product.vecApps[0]->pszAppName, u"Player");
  EXPECT_EQ(product.vecApps[0]->pszAppVersion, u"2.0");
  EXPECT_EQ(product.vecApps[0]->vecModules[0]->pszModuleName, u"Decoder");
  EXPECT_EQ(product.vecApps[0]->vecModules[0]->pszModuleVersion, u"3.0");
  EXPECT_TRUE(Inside(items[0]->pszMessage, parsed.bytes));
}

TEST(LogFold, EachKeyFieldSeparatesGroups) {
  const Parsed parsed = Parse(LogBytesBuilder()
                                  .Record(RecordFields().Message(u"Open failed"))
                                  .Record(RecordFields().Message(u"open failed"))
                                  .Record(RecordFields().Message(u"Open failed").Kind(2))
                                  .Record(RecordFields().Message(u"Open failed").Code(-5))
                                  .Record(RecordFields().Message(u"Open failed").Kind(7))
                                  .Record(RecordFields().Message(u"Open failed").Kind(7))
                                  .Record(RecordFields().App(u"Player", u"2.1"))
                                  .Record(RecordFields().App(u"player"))
                                  .Record(RecordFields().Module(u"Decoder", u"3.1"))
                                  .Record(RecordFields().Product(u"1.0.0.2"))
                                  .Bytes());
  ASSERT_TRUE(parsed.bOk);
  ASSERT_EQ(parsed.products.size(), 2u);
  EXPECT_EQ(parsed.products[1]->strProductVersion, u"1.0.0.2");

  const auto& apps = parsed.products[0]->vecApps;
  ASSERT_EQ(apps.size(), 3u);
  EXPECT_EQ(apps[1]->pszAppVersion, u"2.1");
  EXPECT_EQ(apps[2]->pszAppName, u"player");

  const auto& modules = apps[0]->vecModules;
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[1]->pszModuleVersion, u"3.1");

  const auto& items = modules[0]->vecItems;
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[1]->pszMessage, u"open failed");
  EXPECT_EQ(items[2]->nKind, 2u);
  EXPECT_EQ(items[3]->nErrorCode, -5);
  EXPECT_EQ(items[4]->nKind, 7u);
  EXPECT_EQ(items[4]->nCount, 2);
  EXPECT_EQ(TotalCount(parsed.products), 10);
}

TEST(LogFold, ValueMatchingRules) {
  // A record without a value joins the first item of the same kind, code and
  // message, whatever its value; the first value is kept.
  {
    const Bytes bytes =
        LogBytesBuilder().Record(RecordFields().Value(u"C:\\a.mp3")).Record(RecordFields()).Bytes();
    const Parsed parsed = Parse(bytes);
    ASSERT_TRUE(parsed.bOk);
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->nCount, 2);
    ASSERT_TRUE(items[0]->pszValue.has_value());
    EXPECT_EQ(*items[0]->pszValue, u"C:\\a.mp3");
    EXPECT_TRUE(Inside(*items[0]->pszValue, parsed.bytes));
  }
  // A record with a value never joins an item without one.
  {
    const Parsed parsed =
        Parse(LogBytesBuilder().Record(RecordFields()).Record(RecordFields().Value(u"x")).Bytes());
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FALSE(items[0]->pszValue.has_value());
    EXPECT_EQ(items[1]->pszValue, u"x");
  }
  // Valued records join the first item with an equal value, skipping others.
  {
    const Parsed parsed = Parse(LogBytesBuilder()
                                    .Record(RecordFields().Value(u"a"))
                                    .Record(RecordFields().Value(u"b"))
                                    .Record(RecordFields().Value(u"b"))
                                    .Record(RecordFields())
                                    .Bytes());
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->nCount, 2);
    EXPECT_EQ(items[1]->nCount, 2);
  }
  // An empty value is present, and differs from an absent one.
  {
    const Parsed parsed = Parse(LogBytesBuilder()
                                    .Record(RecordFields())
                                    .Record(RecordFields().Value(u""))
                                    .Record(RecordFields().Value(u""))
                                    .Record(RecordFields().Value(u"x"))
                                    .Bytes());
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_FALSE(items[0]->pszValue.has_value());
    ASSERT_TRUE(items[1]->pszValue.has_value());
    EXPECT_TRUE(items[1]->pszValue->empty());
    EXPECT_EQ(items[1]->nCount, 2);
  }
}

TEST(LogFold, OrderIsFirstAppearanceAtEveryLevel) {
  const auto record = [](const char16_t* tag) {
    return RecordFields().Product(tag).App(tag).Module(tag).Message(tag);
  };
  const Parsed parsed = Parse(LogBytesBuilder()
                                  .Record(record(u"B"))
                                  .Record(record(u"A"))
                                  .Record(record(u"B"))
                                  .Record(record(u"B").App(u"A"))
                                  .Record(record(u"B").Module(u"A"))
                                  .Record(record(u"B").Message(u"A"))
                                  .Bytes());
  ASSERT_TRUE(parsed.bOk);
  ASSERT_EQ(parsed.products.size(), 2u);
  EXPECT_EQ(parsed.products[0]->strProductVersion, u"B");
  EXPECT_EQ(parsed.products[1]->strProductVersion, u"A");
  const auto& apps = parsed.products[0]->vecApps;
  ASSERT_EQ(apps.size(), 2u);
  EXPECT_EQ(apps[0]->pszAppName, u"B");
  EXPECT_EQ(apps[1]->pszAppName, u"A");
  const auto& modules = apps[0]->vecModules;
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[0]->pszModuleName, u"B");
  const auto& items = modules[0]->vecItems;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->pszMessage, u"B");
  EXPECT_EQ(items[0]->nCount, 2);
  EXPECT_EQ(items[1]->pszMessage, u"A");
}

TEST(LogDamage, DamagedRecordIsSkippedKeepingEveryOtherRecord) {
  RecordFields odd;
  odd.messageBytes = 5;
  odd.stringBytes = 2 * 7 + 2 * 8 + 5;
  RecordFields overflow;  // 0xFFFFFFFE + 0x10 + 2 wraps to 0x10 in 32 bits
  overflow.appNameBytes = 0xFFFFFFFE;
  overflow.moduleNameBytes = 0x10;
  overflow.messageBytes = 2;
  overflow.valueBytes = 0;
  overflow.stringBytes = 0x10;
  const struct {
    const char* name;
    RecordFields third;
  } kCases[] = {
      {"header size 0",
       [] {
         RecordFields s;
         s.headerSize = 0;
         return s;
       }()},
      {"header size 252",
       [] {
         RecordFields s;
         s.headerSize = 252;
         return s;
       }()},
      {"string bytes below the texts",
       [] {
         RecordFields s;
         s.stringBytes = 2;
         return s;
       }()},
      {"texts below string bytes",
       [] {
         RecordFields s;
         s.messageBytes = 4;
         return s;
       }()},
      {"app name bytes 0",
       [] {
         RecordFields s;
         s.appNameBytes = 0;
         s.moduleNameBytes = 30;
         return s;
       }()},
      {"module name bytes 0",
       [] {
         RecordFields s;
         s.moduleNameBytes = 0;
         s.appNameBytes = 30;
         return s;
       }()},
      {"message bytes 0",
       [] {
         RecordFields s;
         s.messageBytes = 0;
         s.valueBytes = 34;
         return s;
       }()},
      {"odd message bytes", odd},
      {"odd value bytes",
       [] {
         RecordFields s;
         s.Value(u"ab");
         s.valueBytes = 5;
         s.stringBytes = 69;
         return s;
       }()},
      {"lengths wrap in 32 bits", overflow},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = LogBytesBuilder()
                            .Record(RecordFields().Message(u"first"))
                            .Record(RecordFields().Message(u"second"))
                            .Record(c.third)
                            .Record(RecordFields().Message(u"after"))
                            .Bytes();
    const Parsed parsed = Parse(bytes);
    EXPECT_TRUE(parsed.bOk);
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->pszMessage, u"first");
    EXPECT_EQ(items[1]->pszMessage, u"second");
    EXPECT_EQ(items[2]->pszMessage, u"after");
  }
}

TEST(LogDamage, TornTailEndsWithTrueKeepingEarlierRecords) {
  const std::size_t nRecord = logtest::RecordBytes(RecordFields()).size();
  for (std::size_t nCut : {std::size_t{1}, nRecord - 248, nRecord - 247, nRecord - 1}) {
    SCOPED_TRACE(nCut);
    const Parsed parsed = Parse(
        LogBytesBuilder().Record(RecordFields().Message(u"kept")).Record().DropTail(nCut).Bytes());
    EXPECT_TRUE(parsed.bOk);
    const auto& items = OnlyModuleItems(parsed.products);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->pszMessage, u"kept");
  }
  // A string area claiming far more than the file holds is a torn tail too.
  RecordFields huge;
  huge.valueBytes = 0x7FFFFFF0;
  huge.stringBytes = 0x7FFFFFF0u + 2u * (7 + 8 + 17);
  const Parsed parsed = Parse(LogBytesBuilder().Record().Record(huge).Bytes());
  EXPECT_TRUE(parsed.bOk);
  EXPECT_EQ(TotalCount(parsed.products), 1);
}

TEST(LogTexts, TextsStayWithinTheirOwnFieldOrSpan) {
  RecordFields unterminated;
  unterminated.terminateStrings = false;
  unterminated.App(u"App").Module(u"Mod").Message(u"Msg").Value(u"Val");
  unterminated.productVersion = std::u16string(32, u'9');  // fills the field, no zero
  RecordFields embedded;
  embedded.Message(std::u16string(u"cut\0hidden", 10)).Value(std::u16string(u"\0x", 2));
  const Bytes bytes = LogBytesBuilder().Record(unterminated).Record(embedded).Bytes();

  LogRecordWalk walk(bytes.data(), bytes.size());
  LogRecordView r;
  ASSERT_EQ(walk.Next(r), LogWalkStep::Record);
  EXPECT_EQ(r.productVersion, std::u16string(32, u'9'));
  EXPECT_EQ(r.appName, u"App");
  EXPECT_EQ(r.moduleName, u"Mod");
  EXPECT_EQ(r.message, u"Msg");
  EXPECT_TRUE(r.bHasValue);
  EXPECT_EQ(r.value, u"Val");
  EXPECT_TRUE(Inside(r.value, bytes));
  ASSERT_EQ(walk.Next(r), LogWalkStep::Record);
  EXPECT_EQ(r.message, u"cut");
  EXPECT_TRUE(r.bHasValue);
  EXPECT_EQ(r.value, u"");
  EXPECT_EQ(walk.Next(r), LogWalkStep::End);
  EXPECT_EQ(walk.Next(r), LogWalkStep::End);
}

TEST(LogTexts, RecordsAtOffsetsNotMultipleOfFour) {
  // String areas of 2 mod 4 bytes put every other record header off 4-byte
  // alignment; the fields must still read right.
  LogBytesBuilder builder;
  for (int i = 0; i < 5; ++i) {
    builder.Record(
        RecordFields().App(u"A").Module(u"M").Message(u"m" + std::u16string(i, u'x')).Code(i));
  }
  const Bytes bytes = builder.Bytes();
  const Parsed parsed = Parse(bytes);
  ASSERT_TRUE(parsed.bOk);
  const auto& items = OnlyModuleItems(parsed.products);
  ASSERT_EQ(items.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(items[i]->nErrorCode, i);
    EXPECT_EQ(items[i]->pszMessage.size(), static_cast<std::size_t>(i + 1));
  }

  // The buffer itself must be 2-aligned; an odd address is refused.
  std::vector<std::uint8_t> shifted(bytes.size() + 1);
  std::memcpy(shifted.data() + 1, bytes.data(), bytes.size());
  ProductList products;
  EXPECT_FALSE(ParseLogRecords(shifted.data() + 1, bytes.size(), products));
  EXPECT_TRUE(products.empty());
}

// Random logs from small alphabets, so that groups collide often, must fold
// exactly as the search from the front does.
TEST(LogFold, MatchesTheLinearSearchOnRandomLogs) {
  std::mt19937 rng(12345);
  const std::u16string kTexts[] = {u"a", u"b", u"A", u""};
  const auto pick = [&] { return kTexts[rng() % 4]; };
  for (int round = 0; round < 200; ++round) {
    LogBytesBuilder builder;
    const int nRecords = static_cast<int>(rng() % 40);
    for (int i = 0; i < nRecords; ++i) {
      RecordFields fields;
      fields.Product(pick()).App(pick(), pick()).Module(pick(), pick()).Message(pick());
      fields.Kind(rng() % 3).Code(static_cast<std::int32_t>(rng() % 2));
      if (rng() % 2) fields.Value(pick());
      builder.Record(fields);
    }
    if (rng() % 4 == 0) builder.DropTail(rng() % 300);
    Bytes bytes = builder.Bytes();
    if (rng() % 4 == 0 && bytes.size() > 12) bytes[12 + rng() % (bytes.size() - 12)] ^= 0x41;
    const Parsed parsed = Parse(std::move(bytes));
    ProductList expected;
    const bool bExpected = logtest::LinearParse(parsed.bytes.data(), parsed.bytes.size(), expected);
    EXPECT_EQ(parsed.bOk, bExpected);
    EXPECT_TRUE(logtest::SameTree(parsed.products, expected)) << "round " << round;
  }
}

// A full-size file of all-distinct records must fold in linear time; the
// search from the front would take minutes here and hit the test timeout.
TEST(LogFold, ManyDistinctRecordsFoldQuickly) {
  constexpr int kRecords = 90000;
  LogBytesBuilder builder;
  for (int i = 0; i < kRecords; ++i) {
    const auto n = std::to_string(i);
    builder.Record(
        RecordFields().Message(u"Failed to open item " + std::u16string(n.begin(), n.end())));
  }
  const Parsed parsed = Parse(builder.Bytes());
  ASSERT_TRUE(parsed.bOk);
  EXPECT_EQ(OnlyModuleItems(parsed.products).size(), static_cast<std::size_t>(kRecords));
  EXPECT_EQ(TotalCount(parsed.products), kRecords);
}

}  // namespace
