// Writes the named seeds of the intake body parser's corpus: reports shaped as
// the library writes them, and hostile bodies, each small.
// Usage: make_intake_corpus <output folder>
#include <cstdio>
#include <string>

#include "intake/report_builder.h"

using intake::testing::ReportBuilder;

namespace {

bool Write(const std::string& folder, const char* name, const std::string& bytes) {
  const std::string path = folder + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

constexpr char kUuid[] = "{6f1c2a9e-0b5d-4c1e-9a3f-2d7e8b4c5a61}";

std::string Typical() {
  ReportBuilder builder;
  builder.Document("2.1.0.4", kUuid);
  for (int i = 0; i < 20; ++i) {
    builder.Item(i % 3 == 0   ? "Warning"
                 : i % 3 == 1 ? "Error"
                              : "Exception",
                 -2147467259 + i,
                 "Cannot open \"C:\\Users\\bob\\clip" + std::to_string(i) + ".avi\"",
                 i % 2 ? std::optional<std::string>("D:\\Media\\a&b<" + std::to_string(i) + ">")
                       : std::nullopt,
                 1 + i, "1.3.2.0", "2.1.0.9");
  }
  return builder.Text();
}

std::string Accounts() {
  return ReportBuilder()
      .Document("2.1.0.4", kUuid)
      .Item("Warning", 10901, "Records were not kept: the day's log reached its size cap",
            "0000000042", 1, "3.0.0.1")
      .Item("Warning", 10902, "Records were not kept: the log was busy or could not be written",
            "7", 2, "3.0.0.1")
      .Item("Warning", 10903, "Records were not kept: the pending log was full",
            "12 records, 4096 bytes", 1, "3.0.0.1")
      .Item("Warning", 10904, "A record was cut: its writer stopped in the middle of it", "130", 1,
            "3.0.0.1")
      .Document("1.0", kUuid)
      .Text();
}

std::string Sound(const std::string& inside) {
  return "<Log_Error ProductVer=\"1.0\" UUID=\"u\">\r\n" + inside + "</Log_Error>\r\n\r\n";
}

const std::string kItem =
    "\t<Error ErrorCode=\"5\" Message=\"m\" Count=\"1\" DLLVer=\"1\" AppVer=\"2\"/>\r\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  std::string deep = "<Log_Error ProductVer=\"1\" UUID=\"u\">";
  for (int i = 0; i < 300; ++i) deep += "<Error>";
  const struct {
    const char* name;
    std::string bytes;
  } seeds[] = {
      {"report-typical", Typical()},
      {"report-accounts", Accounts()},
      {"report-empty-documents",
       ReportBuilder().Document("1.0", kUuid).Document("2.0", kUuid).Text()},
      {"report-declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + Sound(kItem)},
      {"report-references", Sound("\t<Warning ErrorCode=\"-1\" Message=\"&#x9;&#65;&lt;&apos;\" "
                                  "Value=\"\" Count=\"2147483647\" DLLVer=\"\" AppVer=\"\"/>\r\n")},
      {"hostile-billion-laughs",
       "<!DOCTYPE Log_Error [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;\">]>" +
           Sound("\t<Error ErrorCode=\"1\" Message=\"&c;\" Count=\"1\" DLLVer=\"\" AppVer=\"\"/>")},
      {"hostile-external-entity",
       "<!DOCTYPE Log_Error [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
           Sound("\t<Error ErrorCode=\"1\" Message=\"&x;\" Count=\"1\" DLLVer=\"\" AppVer=\"\"/>")},
      {"hostile-unknown-entity",
       Sound("\t<Error ErrorCode=\"1\" Message=\"&foo;\" Count=\"1\" DLLVer=\"\" AppVer=\"\"/>")},
      {"hostile-deep-nesting", deep},
      {"hostile-invalid-utf8", Sound("\t<Error ErrorCode=\"1\" Message=\"\xC0\xAF\xED\xA0\x80\" "
                                     "Count=\"1\" DLLVer=\"\" AppVer=\"\"/>")},
      {"hostile-nul", Sound(kItem) + std::string(1, '\0') + "<Other/>"},
      {"hostile-stray", Sound(kItem) + "text<![CDATA[x]]><?pi?>" + Sound("<Other/>")},
      {"hostile-attributes", Sound("\t<Error ErrorCode=\"99999999999\" Message=\"m\" Count=\"0\" "
                                   "Count=\"1\" DLLVer=\"\" Extra=\"\"/>")},
  };
  for (const auto& seed : seeds) {
    if (!Write(folder, seed.name, seed.bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), seed.name);
      return 1;
    }
  }
  return 0;
}
