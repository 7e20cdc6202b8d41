// Writes the seed corpus for parse_log_fuzzer: a few valid logs and a few
// damaged ones, each small. Usage: make_fuzz_corpus <output folder>
#include <cstdio>
#include <string>
#include <vector>

#include "support/log_bytes_builder.h"

using namespace suite;

namespace {

using logtest::LogBytesBuilder;
using logtest::RecordFields;

bool Write(const std::string& folder, const char* name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = folder + "/" + name;
  std::FILE* pFile = std::fopen(path.c_str(), "wb");
  if (pFile == nullptr) return false;
  const bool bOk = std::fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
  return std::fclose(pFile) == 0 && bOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];

  RecordFields warning = RecordFields().Kind(2).Code(kDefaultWarningCode).Message(u"Slow seek");
  RecordFields exception = RecordFields().Kind(3).Code(kDefaultExceptionCode).Value(u"0xC0000005");
  RecordFields withValue = RecordFields().Message(u"Cannot open").Value(u"C:\\Music\\a.mp3");
  RecordFields other = RecordFields().Product(u"1.0.0.2").App(u"Tray", u"1.1").Module(u"Net");
  RecordFields unterminated = RecordFields().Message(u"no zero").Value(u"");
  unterminated.terminateStrings = false;
  unterminated.productVersion = std::u16string(32, u'7');
  RecordFields badHeader;
  badHeader.headerSize = 0;
  RecordFields badLengths;
  badLengths.messageBytes = 6;
  const std::vector<std::uint8_t> whole = logtest::RecordBytes(RecordFields().Message(u"cut"));
  const std::vector<std::uint8_t> torn(whole.begin(), whole.begin() + 100);
  std::vector<std::uint8_t> junk(300);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 37 + 11);
  // A text ending in U+00F8 and its terminator: F8 00 00 00, a HeaderSize.
  const RecordFields oSlash = RecordFields().Message(u"\u00F8").Value(u"\u0004");
  const LogFileHeader zeroHeader{0, 0, 0};

  struct Seed {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Seed seeds[] = {
      {"empty_log", LogBytesBuilder().Bytes()},
      {"one_record", LogBytesBuilder().Record().Bytes()},
      {"mixed", LogBytesBuilder()
                    .Record()
                    .Record(warning)
                    .Record(exception)
                    .Record(withValue)
                    .Record(RecordFields().Message(u"Cannot open"))
                    .Record(other)
                    .Record(RecordFields().Kind(7))
                    .Record()
                    .Bytes()},
      {"unterminated", LogBytesBuilder().Record(unterminated).Record(unterminated).Bytes()},
      {"torn_tail", LogBytesBuilder().Record().Record(withValue).DropTail(9).Bytes()},
      {"bad_header_size", LogBytesBuilder().Record().Record(badHeader).Record().Bytes()},
      {"bad_lengths", LogBytesBuilder().Record(warning).Record(badLengths).Bytes()},
      {"wrong_magic", LogBytesBuilder(LogFileHeader{0x52524500, 1, 1}).Record().Bytes()},
      {"zeros_between", LogBytesBuilder()
                            .Record()
                            .Raw(std::vector<std::uint8_t>(512, 0))
                            .Record(warning)
                            .Record(exception)
                            .Bytes()},
      {"torn_between",
       LogBytesBuilder().Record().Raw(torn).Record(withValue).Record(other).Bytes()},
      {"junk_between", LogBytesBuilder().Record(warning).Raw(junk).Record().Record().Bytes()},
      {"zeroed_header", LogBytesBuilder(zeroHeader).Record().Record(warning).Bytes()},
      {"o_slash_torn",
       LogBytesBuilder().Record(oSlash).Raw(torn).Record(oSlash).Record().DropTail(7).Bytes()},
  };
  for (const Seed& seed : seeds) {
    if (!Write(folder, seed.name, seed.bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), seed.name);
      return 1;
    }
  }
  return 0;
}
