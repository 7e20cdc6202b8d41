// Damage costs only the damaged bytes: after a damaged span the walk restarts
// at the next whole record, and reports every whole record and no other.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format/log_record_walk.h"
#include "report/log_parse.h"
#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using logtest::LogBytesBuilder;
using logtest::RecordBytes;
using logtest::RecordFields;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFileHeaderBytes = sizeof(LogFileHeader);

template <typename... Parts>
Bytes Concat(const Parts&... parts) {
  Bytes out;
  (logtest::AppendBytes(out, parts.data(), parts.size()), ...);
  return out;
}

Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

Bytes Junk(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

Bytes Prefix(const Bytes& bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); }

Bytes FileHeader() { return LogBytesBuilder().Bytes(); }

// The whole records of the tests: distinct messages, so each is recognised.
Bytes Whole(int n) {
  const std::string text = "record " + std::to_string(n);
  return RecordBytes(RecordFields().Message(std::u16string(text.begin(), text.end())));
}

std::u16string MessageOf(int n) {
  const std::string text = "record " + std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

struct Walked {
  std::vector<LogRecordView> records;
  std::vector<LogSkippedSpan> spans;
  LogFileState state = LogFileState::Unusable;
};

// Walks the data and checks what must hold for any input: the steps tile the
// data from DataOffset() to its end, in order, and End stays End.
Walked WalkAll(const Bytes& bytes) {
  Walked walked;
  LogRecordWalk walk(bytes.data(), bytes.size());
  walked.state = walk.FileState();
  std::size_t nExpected = walk.DataOffset();
  LogRecordView record;
  for (;;) {
    const LogWalkStep step = walk.Next(record);
    if (step == LogWalkStep::End) break;
    if (step == LogWalkStep::Record) {
      EXPECT_EQ(record.nOffset, nExpected);
      EXPECT_GE(record.nBytes, sizeof(LogRecordHeader));
      nExpected = record.nOffset + record.nBytes;
      walked.records.push_back(record);
    } else {
      const LogSkippedSpan span = walk.SkippedSpan();
      EXPECT_EQ(span.nOffset, nExpected);
      EXPECT_GT(span.nBytes, 0u);
      nExpected = span.nOffset + span.nBytes;
      walked.spans.push_back(span);
    }
    EXPECT_LE(nExpected, bytes.size());
    if (walked.records.size() + walked.spans.size() > bytes.size() + 1) {
      ADD_FAILURE() << "the walk does not end";
      break;
    }
  }
  if (walked.state == LogFileState::Known || walked.state == LogFileState::Damaged) {
    EXPECT_EQ(nExpected, bytes.size());
  }
  EXPECT_EQ(walk.Next(record), LogWalkStep::End);
  EXPECT_EQ(walk.RecordCount(), walked.records.size());
  EXPECT_EQ(walk.SkippedSpanCount(), walked.spans.size());
  std::size_t nSkipped = 0;
  for (const auto& span : walked.spans) nSkipped += span.nBytes;
  EXPECT_EQ(walk.SkippedByteCount(), nSkipped);
  return walked;
}

std::vector<std::u16string> Messages(const Walked& walked) {
  std::vector<std::u16string> messages;
  for (const auto& record : walked.records) messages.emplace_back(record.message);
  return messages;
}

std::vector<std::u16string> MessagesOf(std::initializer_list<int> numbers) {
  std::vector<std::u16string> messages;
  for (int n : numbers) messages.push_back(MessageOf(n));
  return messages;
}

std::size_t FoldedCount(const ProductList& products) {
  std::size_t n = 0;
  for (const auto& p : products)
    for (const auto& a : p->vecApps)
      for (const auto& m : a->vecModules)
        for (const auto& e : m->vecItems) n += static_cast<std::size_t>(e->nCount);
  return n;
}

// Damaged records as the header's own fields describe them.
Bytes DamagedRecord(void (*damage)(RecordFields&)) {
  RecordFields fields = RecordFields().Message(u"damaged");
  damage(fields);
  return RecordBytes(fields);
}

// A header-like fake inside damage: 64 zero bytes, the fake, 32 zero bytes.
Bytes InZeros(const Bytes& fake) {
  const Bytes before = Zeros(64);
  const Bytes after = Zeros(32);
  return Concat(before, fake, after);
}

// The first `n` bytes of a record that goes on past a message ending in
// U+00F8: its last four bytes are F8 00 00 00, which read as a HeaderSize
// of 248.
Bytes TornAfterOSlash() {
  RecordFields fields = RecordFields().Message(u"Fehler: \u00F8").Value(u"C:\\a.mp3");
  const Bytes record = RecordBytes(fields);
  const std::size_t nCut = sizeof(LogRecordHeader) + 2 * (6 + 1) + 2 * (7 + 1) + 2 * (9 + 1);
  Bytes torn = Prefix(record, nCut);
  EXPECT_EQ(torn[nCut - 4], 0xF8);
  EXPECT_EQ(torn[nCut - 3], 0x00);
  EXPECT_EQ(torn[nCut - 2], 0x00);
  EXPECT_EQ(torn[nCut - 1], 0x00);
  return torn;
}

struct DamageCase {
  const char* name;
  Bytes damage;
};

std::vector<DamageCase> DamageCases() {
  const Bytes whole = Whole(99);
  std::vector<DamageCase> cases = {
      {"4 KiB of zeros (power loss)", Zeros(4096)},
      {"2 zero bytes", Zeros(2)},
      {"1000 junk bytes", Junk(1000, 1)},
      {"4 KiB of junk", Junk(4096, 2)},
      {"junk of F8 bytes", Bytes(600, 0xF8)},
      {"torn record: 2 bytes", Prefix(whole, 2)},
      {"torn record: 20 bytes", Prefix(whole, 20)},
      {"torn record: 24 bytes", Prefix(whole, 24)},
      {"torn record: 40 bytes (lengths intact)", Prefix(whole, 40)},
      {"torn record: 100 bytes", Prefix(whole, 100)},
      {"torn record: header only", Prefix(whole, sizeof(LogRecordHeader))},
      {"torn record: all but 2 bytes", Prefix(whole, whole.size() - 2)},
      {"torn record, then zeros", Concat(Prefix(whole, 120), Zeros(512))},
      {"zeros, then a torn record", Concat(Zeros(512), Prefix(whole, 120))},
      {"text ending in F8 00 00 00, torn after it", TornAfterOSlash()},
      {"header size 0", DamagedRecord([](RecordFields& f) { f.headerSize = 0; })},
      {"header size 252", DamagedRecord([](RecordFields& f) { f.headerSize = 252; })},
      {"string bytes below the texts", DamagedRecord([](RecordFields& f) { f.stringBytes = 2; })},
      {"texts below string bytes", DamagedRecord([](RecordFields& f) { f.messageBytes = 4; })},
      {"app name bytes 0", DamagedRecord([](RecordFields& f) {
         f.appNameBytes = 0;
         f.moduleNameBytes = 30;
       })},
      {"module name bytes 0", DamagedRecord([](RecordFields& f) {
         f.moduleNameBytes = 0;
         f.appNameBytes = 30;
       })},
      {"message bytes 0", DamagedRecord([](RecordFields& f) {
         f.messageBytes = 0;
         f.valueBytes = 18;
       })},
      {"all lengths 0", DamagedRecord([](RecordFields& f) {
         f.appNameBytes = f.moduleNameBytes = f.messageBytes = f.valueBytes = 0;
         f.stringBytes = 0;
       })},
      {"odd message bytes", DamagedRecord([](RecordFields& f) {
         f.messageBytes = 5;
         f.stringBytes = 2 * 7 + 2 * 8 + 5;
       })},
      {"odd value bytes", DamagedRecord([](RecordFields& f) {
         f.Value(u"ab");
         f.valueBytes = 5;
         f.stringBytes = 2 * 7 + 2 * 8 + 2 * 8 + 5;
       })},
      {"lengths wrap in 32 bits", DamagedRecord([](RecordFields& f) {
         f.appNameBytes = 0xFFFFFFFE;
         f.moduleNameBytes = 0x10;
         f.messageBytes = 2;
         f.valueBytes = 0;
         f.stringBytes = 0x10;
       })},
      {"string area past the end of the data", DamagedRecord([](RecordFields& f) {
         f.valueBytes = 0x7FFFFFF0;
         f.stringBytes = 0x7FFFFFF0u + 2u * (7 + 8 + 8);
       })},
      // Fakes that pass ever more of the strict checks, each alone too weak.
      {"fake: only the header size", InZeros(Bytes{0xF8, 0, 0, 0, 0x11, 0x22, 0x33, 0x44})},
      {"fake: format tag 5", InZeros(DamagedRecord([](RecordFields& f) { f.formatTag = 5; }))},
      {"fake: kind 0", InZeros(DamagedRecord([](RecordFields& f) { f.kind = 0; }))},
      {"fake: kind 4", InZeros(DamagedRecord([](RecordFields& f) { f.kind = 4; }))},
      {"fake: lengths do not add up",
       InZeros(DamagedRecord([](RecordFields& f) { f.stringBytes = 2 * 7 + 2 * 8 + 2 * 8 + 2; }))},
      {"fake: texts without terminators",
       InZeros(DamagedRecord([](RecordFields& f) { f.terminateStrings = false; }))},
      {"fake: a whole record with zeros behind it", InZeros(Whole(98))},
      {"fake: a whole record with junk behind it",
       [] {
         const Bytes fake = Whole(98);
         const Bytes junk = Junk(40, 3);
         const Bytes zeros = Zeros(8);
         return Concat(zeros, fake, junk);
       }()},
  };
  return cases;
}

// 3 whole records, a damaged span, 2 whole records: exactly the 5 records, in
// order, and one skipped span exactly over the damage.
TEST(LogResync, EveryWholeRecordAroundADamagedSpanIsReported) {
  const Bytes header = FileHeader();
  const Bytes r1 = Whole(1), r2 = Whole(2), r3 = Whole(3), r4 = Whole(4), r5 = Whole(5);
  for (const DamageCase& c : DamageCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.damage.size() % 2, 0u);
    const Bytes bytes = Concat(header, r1, r2, r3, c.damage, r4, r5);
    const std::size_t nDamage = header.size() + r1.size() + r2.size() + r3.size();

    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(walked.state, LogFileState::Known);
    EXPECT_EQ(Messages(walked), MessagesOf({1, 2, 3, 4, 5}));
    ASSERT_EQ(walked.records.size(), 5u);
    EXPECT_EQ(walked.records[3].nOffset, nDamage + c.damage.size());
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nOffset, nDamage);
    EXPECT_EQ(walked.spans[0].nBytes, c.damage.size());
    EXPECT_EQ(walked.spans[0].kind, LogSkipKind::Damaged);

    ProductList products;
    EXPECT_TRUE(ParseLogRecords(bytes.data(), bytes.size(), products));
    EXPECT_EQ(FoldedCount(products), 5u);
  }
}

// The same damage at the very start of the records, and at their very end.
TEST(LogResync, DamageRightAfterTheHeaderOrAtTheEnd) {
  const Bytes header = FileHeader();
  const Bytes r1 = Whole(1), r2 = Whole(2);
  for (const DamageCase& c : DamageCases()) {
    SCOPED_TRACE(c.name);
    const Bytes front = Concat(header, c.damage, r1, r2);
    Walked walked = WalkAll(front);
    EXPECT_EQ(Messages(walked), MessagesOf({1, 2}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nOffset, kFileHeaderBytes);
    EXPECT_EQ(walked.spans[0].nBytes, c.damage.size());

    const Bytes back = Concat(header, r1, r2, c.damage);
    walked = WalkAll(back);
    EXPECT_EQ(Messages(walked), MessagesOf({1, 2}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nOffset, back.size() - c.damage.size());
    EXPECT_EQ(walked.spans[0].nBytes, c.damage.size());
  }
}

TEST(LogResync, SeveralDamagedSpans) {
  const Bytes header = FileHeader();
  const Bytes r1 = Whole(1), r2 = Whole(2), r3 = Whole(3), r4 = Whole(4), r5 = Whole(5),
              r6 = Whole(6), r7 = Whole(7);
  const Bytes zeros = Zeros(4096), junk = Junk(302, 7), torn = Prefix(Whole(50), 270);
  const Bytes bytes = Concat(header, r1, zeros, r2, r3, junk, r4, r5, torn, zeros, r6, r7, torn);
  const Walked walked = WalkAll(bytes);
  EXPECT_EQ(Messages(walked), MessagesOf({1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(walked.spans.size(), 4u);
  std::size_t nOffset = header.size() + r1.size();
  EXPECT_EQ(walked.spans[0].nOffset, nOffset);
  EXPECT_EQ(walked.spans[0].nBytes, zeros.size());
  nOffset += zeros.size() + r2.size() + r3.size();
  EXPECT_EQ(walked.spans[1].nOffset, nOffset);
  EXPECT_EQ(walked.spans[1].nBytes, junk.size());
  nOffset += junk.size() + r4.size() + r5.size();
  EXPECT_EQ(walked.spans[2].nOffset, nOffset);
  EXPECT_EQ(walked.spans[2].nBytes, torn.size() + zeros.size());
  EXPECT_EQ(walked.spans[3].nOffset, bytes.size() - torn.size());
  EXPECT_EQ(walked.spans[3].kind, LogSkipKind::TornTail);
}

// A restart point must be followed by another record or by the end of the
// data, so a lone record between two damaged spans is not told from damage:
// it is skipped with them. Records after a restart point are read by the
// lenient rules again.
TEST(LogResync, RestartRulesAfterDamage) {
  const Bytes header = FileHeader();
  const Bytes r1 = Whole(1), r2 = Whole(2), r3 = Whole(3), r4 = Whole(4);
  const Bytes zeros = Zeros(1024);
  {
    const Bytes bytes = Concat(header, r1, zeros, r2, zeros, r3, r4);
    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(Messages(walked), MessagesOf({1, 3, 4}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nBytes, zeros.size() + r2.size() + zeros.size());
  }
  {
    // The lone record before a torn tail is skipped with it as well.
    const Bytes torn = Prefix(Whole(9), 270);
    const Bytes bytes = Concat(header, r1, zeros, r2, torn);
    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(Messages(walked), MessagesOf({1}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].kind, LogSkipKind::Damaged);
  }
  {
    // Kind 7, format tag 99 and unterminated texts are read from the start,
    // and after a restart point, but are no restart point themselves.
    RecordFields odd = RecordFields().Kind(7).Message(u"odd");
    odd.formatTag = 99;
    odd.terminateStrings = false;
    const Bytes r9 = RecordBytes(odd);
    const Bytes bytes = Concat(header, r9, r1, zeros, r9, r2, r3, r9, r4);
    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(Messages(walked), (std::vector<std::u16string>{u"odd", MessageOf(1), MessageOf(2),
                                                             MessageOf(3), u"odd", MessageOf(4)}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nBytes, zeros.size() + r9.size());
  }
  {
    // Damage of odd length puts what follows at odd offsets, where no record
    // is looked for (texts are handed out as aligned char16_t views).
    const Bytes odd = Junk(3, 5);
    const Bytes bytes = Concat(header, r1, odd, r2, r3);
    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(Messages(walked), MessagesOf({1}));
    ASSERT_EQ(walked.spans.size(), 1u);
    EXPECT_EQ(walked.spans[0].nBytes, bytes.size() - header.size() - r1.size());
  }
}

TEST(LogResync, DamagedFileHeaderDoesNotHideTheRecords) {
  const Bytes r1 = Whole(1), r2 = Whole(2), r3 = Whole(3);
  const auto header = [](std::uint32_t magic, std::uint32_t version, std::uint32_t revision) {
    return LogBytesBuilder(LogFileHeader{magic, version, revision}).Bytes();
  };
  const Bytes zeros = Zeros(4096);
  const struct {
    const char* name;
    Bytes front;
    std::size_t nSpan;  // the skipped span from offset 0
  } kCases[] = {
      {"zeroed header", Zeros(12), 12},
      {"torn header: version and revision zero", header(kLogFileMagic, 0, 0), 12},
      {"torn header: revision zero", header(kLogFileMagic, 1, 0), 12},
      {"junk header", Junk(12, 9), 12},
      {"wrong magic", header(kLogFileMagic ^ 1, 1, 1), 12},
      {"header cut to 6 bytes", Prefix(FileHeader(), 6), 6},
      {"header cut to 10 bytes", Prefix(FileHeader(), 10), 10},
      {"no header", {}, 0},
      {"zeroed header and zeros", Concat(Zeros(12), zeros), 12 + 4096},
      {"zeroed header and a torn record", Concat(Zeros(12), Prefix(Whole(9), 100)), 112},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = Concat(c.front, r1, r2, r3);
    const Walked walked = WalkAll(bytes);
    EXPECT_EQ(walked.state, LogFileState::Damaged);
    EXPECT_EQ(Messages(walked), MessagesOf({1, 2, 3}));
    if (c.nSpan == 0) {
      EXPECT_TRUE(walked.spans.empty());
    } else {
      ASSERT_EQ(walked.spans.size(), 1u);
      EXPECT_EQ(walked.spans[0].nOffset, 0u);
      EXPECT_EQ(walked.spans[0].nBytes, c.nSpan);
      EXPECT_EQ(walked.spans[0].kind, LogSkipKind::FileHeader);
    }
    ProductList products;
    EXPECT_TRUE(ParseLogRecords(bytes.data(), bytes.size(), products));
    EXPECT_EQ(FoldedCount(products), 3u);
  }
}

TEST(LogResync, FilesWithoutWholeRecordsOrOfAnotherFormat) {
  const Bytes r1 = Whole(1);
  const struct {
    const char* name;
    Bytes bytes;
    LogFileState state;
    bool bParsed;
  } kCases[] = {
      {"empty", {}, LogFileState::Damaged, false},
      {"zeroed header only", Zeros(12), LogFileState::Damaged, false},
      {"4 KiB of zeros", Zeros(4096), LogFileState::Damaged, false},
      {"4 KiB of junk", Junk(4096, 4), LogFileState::Damaged, false},
      {"header only", FileHeader(), LogFileState::Known, true},
      {"header and zeros", Concat(FileHeader(), Zeros(4096)), LogFileState::Known, true},
      {"version 2", LogBytesBuilder(LogFileHeader{kLogFileMagic, 2, 1}).Record().Bytes(),
       LogFileState::Foreign, false},
      {"revision 2", LogBytesBuilder(LogFileHeader{kLogFileMagic, 1, 2}).Record().Bytes(),
       LogFileState::Foreign, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // A buffer that is never null, even for no bytes.
    Bytes storage = c.bytes;
    storage.reserve(1);
    LogRecordWalk walk(storage.data(), storage.size());
    EXPECT_EQ(walk.FileState(), c.state);
    LogRecordView record;
    LogWalkStep step;
    while ((step = walk.Next(record)) != LogWalkStep::End) EXPECT_NE(step, LogWalkStep::Record);
    ProductList products;
    EXPECT_EQ(ParseLogRecords(storage.data(), storage.size(), products), c.bParsed);
    EXPECT_TRUE(products.empty());
  }
  LogRecordWalk none(nullptr, 0);
  EXPECT_EQ(none.FileState(), LogFileState::Unusable);
  LogRecordView record;
  EXPECT_EQ(none.Next(record), LogWalkStep::End);
}

TEST(LogResync, RestartPointChecks) {
  const Bytes r1 = Whole(1), r2 = Whole(2);
  const Bytes bytes = Concat(r1, r2);
  EXPECT_TRUE(IsLogRestartAt(bytes.data(), bytes.size(), 0));
  EXPECT_TRUE(IsLogRestartAt(bytes.data(), bytes.size(), r1.size()));
  EXPECT_FALSE(IsLogRestartAt(bytes.data(), bytes.size(), 2));
  EXPECT_FALSE(IsLogRestartAt(bytes.data(), bytes.size(), bytes.size()));
  EXPECT_FALSE(IsLogRestartAt(bytes.data(), bytes.size(), bytes.size() + 2));
  EXPECT_FALSE(IsLogRestartAt(nullptr, 0, 0));
  // Followed by something that is not a record: not a restart point.
  const Bytes tail = Zeros(2);
  const Bytes trailed = Concat(r1, tail);
  EXPECT_FALSE(IsLogRestartAt(trailed.data(), trailed.size(), 0));
}

// Records handed to a copier: their spans hold exactly the original bytes.
TEST(LogResync, RecordSpansAreTheRecordBytes) {
  const Bytes header = FileHeader();
  const Bytes r1 = Whole(1), r2 = Whole(2), junk = Junk(64, 8);
  const Bytes bytes = Concat(header, r1, junk, r2, r1);
  const Walked walked = WalkAll(bytes);
  ASSERT_EQ(walked.records.size(), 3u);
  const Bytes* expected[] = {&r1, &r2, &r1};
  for (std::size_t i = 0; i < 3; ++i) {
    const LogRecordView& record = walked.records[i];
    ASSERT_EQ(record.nBytes, expected[i]->size());
    EXPECT_EQ(std::memcmp(bytes.data() + record.nOffset, expected[i]->data(), record.nBytes), 0);
  }
}

// The build lowers the size where the tests run translated by qemu, about
// ten times slower: a walk that is not linear still takes far longer.
#ifndef LOG_TEST_DAMAGE_WALK_MIB
#define LOG_TEST_DAMAGE_WALK_MIB 25
#endif

// Resynchronisation is linear: full-size (25 MiB) buffers of junk, of zeros,
// and of near-miss candidates walk quickly. The bound is loose because this
// build runs under the sanitizers without optimisation; the figures print.
TEST(LogResync, FullSizeDamageWalksInLinearTime) {
  constexpr std::size_t kSize = std::size_t{LOG_TEST_DAMAGE_WALK_MIB} << 20;
  Bytes header = FileHeader();

  // Every 256 bytes a whole, strict record followed by junk: each is a
  // candidate that passes every check but the one on what follows it.
  Bytes nearMiss;
  nearMiss.reserve(kSize);
  {
    const Bytes record = RecordBytes(RecordFields().App(u"A").Module(u"M").Message(u"m"));
    Bytes piece = record;
    piece.resize(256, 0x41);
    while (nearMiss.size() + piece.size() <= kSize)
      logtest::AppendBytes(nearMiss, piece.data(), 256);
  }
  // Nothing but F8 00 00 00 04 00 00 00 01 00 00 00: the first three checks
  // pass at every fourth offset.
  Bytes fakes(kSize);
  {
    const std::uint8_t pattern[12] = {0xF8, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
    for (std::size_t i = 0; i < kSize; ++i) fakes[i] = pattern[i % 12];
  }
  struct Buffer {
    const char* name;
    Bytes bytes;
  } buffers[] = {
      {"zeros", Zeros(kSize)},
      {"random junk", Junk(kSize, 11)},
      {"near-miss records", std::move(nearMiss)},
      {"F8 fakes", std::move(fakes)},
  };
  for (auto& buffer : buffers) {
    SCOPED_TRACE(buffer.name);
    // Behind a known header, and on its own (a damaged file header).
    for (bool bHeader : {true, false}) {
      Bytes bytes = bHeader ? Concat(header, buffer.bytes) : std::move(buffer.bytes);
      const auto start = std::chrono::steady_clock::now();
      LogRecordWalk walk(bytes.data(), bytes.size());
      LogRecordView record;
      std::size_t nSteps = 0;
      while (walk.Next(record) != LogWalkStep::End) ++nSteps;
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("  %s%s: %zu bytes walked in %.3f s (%zu records, %zu bytes skipped)\n",
                  buffer.name, bHeader ? " behind a header" : "", bytes.size(), seconds,
                  walk.RecordCount(), walk.SkippedByteCount());
      EXPECT_LT(seconds, 10.0);
      EXPECT_LE(nSteps, 3u);
      if (!bHeader) buffer.bytes = std::move(bytes);
    }
  }
}

}  // namespace
