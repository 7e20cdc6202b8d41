#include <gtest/gtest.h>

#include <string>

#include "contract/read_upload.h"
#include "contract/sha256_hex.h"
#include "intake/report_builder.h"
#include "intake/thread_seconds.h"

using namespace intake;
using intake::testing::ReportBuilder;
using intake::testing::ThreadSeconds;

namespace {

constexpr char kUuid[] = "{6f1c2a9e-0b5d-4c1e-9a3f-2d7e8b4c5a61}";

// A document as the DOM under Wine writes it, items between "<Log_Error" and
// "</Log_Error>" replaced by `items`.
std::string Document(const std::string& items, const std::string& uuid = kUuid) {
  return "<Log_Error ProductVer=\"2.1.0.4\" UUID=\"" + uuid + "\">\r\n" + items +
         "</Log_Error>\r\n\r\n";
}

std::string Item(const std::string& attributes, const std::string& kind = "Error") {
  return "\t<" + kind + " " + attributes + "/>\r\n";
}

const std::string kSoundAttributes =
    "ErrorCode=\"-2147467259\" Message=\"Cannot open\" Value=\"D:\\a.avi\" Count=\"3\" "
    "DLLVer=\"1.3.2.0\" AppVer=\"2.1.0.9\"";

std::variant<Upload, ContractError> Read(const std::string& body,
                                         std::optional<std::string> client = std::nullopt,
                                         std::string type = "application/xml; charset=utf-8") {
  const std::string key = Sha256Hex(body);
  std::optional<std::string_view> client_view;
  if (client) client_view = *client;
  return ReadUpload({type, key, client_view}, body);
}

std::optional<ContractError> ErrorOf(const std::variant<Upload, ContractError>& result) {
  if (const ContractError* error = std::get_if<ContractError>(&result)) return *error;
  return std::nullopt;
}

}  // namespace

TEST(ContractTest, EachRefusalHasItsCause) {
  const std::string sound = Document(Item(kSoundAttributes));
  const std::string laughs =
      "<!DOCTYPE Log_Error [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>" +
      Document(Item("ErrorCode=\"1\" Message=\"&b;\" Count=\"1\" DLLVer=\"\" AppVer=\"\""));
  std::string deep = "<Log_Error ProductVer=\"1\" UUID=\"u\">";
  for (int i = 0; i < 200000; ++i) deep += "<Error>";
  for (int i = 0; i < 200000; ++i) deep += "</Error>";
  deep += "</Log_Error>";
  const struct {
    const char* name;
    std::string body;
    ContractError expected;
  } cases[] = {
      {"empty body", "", ContractError::kNoDocument},
      {"white space only", " \r\n\t", ContractError::kNoDocument},
      {"cut UTF-8", Document(Item(kSoundAttributes)) + "\xC3", ContractError::kNotUtf8},
      {"overlong UTF-8",
       Document(Item("ErrorCode=\"1\" Message=\"\xC0\xAF\" Count=\"1\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kNotUtf8},
      {"UTF-16 surrogate", Document("") + "\xED\xA0\x80", ContractError::kNotUtf8},
      {"NUL hides the rest", sound + std::string(1, '\0') + "<Foo/>", ContractError::kNotXmlText},
      {"control character",
       Document(Item("ErrorCode=\"1\" Message=\"\x01\" Count=\"1\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kNotXmlText},
      {"not well-formed", "<Log_Error ProductVer=\"1\" UUID=\"u\">", ContractError::kNotWellFormed},
      {"bare ampersand",
       Document(Item("ErrorCode=\"1\" Message=\"a & b\" Count=\"1\" DLLVer=\"\" "
                     "AppVer=\"\"")),
       ContractError::kNotWellFormed},
      {"DOCTYPE", "<!DOCTYPE Log_Error>" + sound, ContractError::kDoctype},
      {"billion laughs", laughs, ContractError::kDoctype},
      {"external entity",
       "<!DOCTYPE Log_Error [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + sound,
       ContractError::kDoctype},
      {"DOCTYPE between documents", sound + "<!DOCTYPE Log_Error>" + sound,
       ContractError::kDoctype},
      {"unknown entity in a value",
       Document(Item("ErrorCode=\"1\" Message=\"&foo;\" Count=\"1\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kEntity},
      {"unknown entity between documents", sound + "&foo;" + sound, ContractError::kEntity},
      {"another root", "<Report/>", ContractError::kForeignNode},
      {"another item kind", Document(Item(kSoundAttributes, "Info")), ContractError::kForeignNode},
      {"element inside an item",
       Document("\t<Error " + kSoundAttributes + "><Error " + kSoundAttributes + "/></Error>\r\n"),
       ContractError::kForeignNode},
      {"deep nesting", deep, ContractError::kForeignNode},
      {"processing instruction", sound + "<?run me?>", ContractError::kForeignNode},
      {"CDATA", Document("<![CDATA[x]]>"), ContractError::kForeignNode},
      {"declaration ending the body", sound + "<?xml version=\"1.0\"?>",
       ContractError::kForeignNode},
      {"text between documents", sound + "x" + sound, ContractError::kStrayText},
      {"text inside a document", Document("hello" + Item(kSoundAttributes)),
       ContractError::kStrayText},
      {"text inside an item", Document("\t<Error " + kSoundAttributes + ">x</Error>"),
       ContractError::kStrayText},
      {"no UUID", "<Log_Error ProductVer=\"1\"/>", ContractError::kMissingAttribute},
      {"no Count", Document(Item("ErrorCode=\"1\" Message=\"m\" DLLVer=\"\" AppVer=\"\"")),
       ContractError::kMissingAttribute},
      {"no AppVer", Document(Item("ErrorCode=\"1\" Message=\"m\" Count=\"1\" DLLVer=\"\"")),
       ContractError::kMissingAttribute},
      {"unknown attribute", Document(Item(kSoundAttributes + " Extra=\"\"")),
       ContractError::kForeignAttribute},
      {"attribute twice", Document(Item(kSoundAttributes + " Count=\"2\"")),
       ContractError::kForeignAttribute},
      {"ErrorCode past 32 bits",
       Document(Item("ErrorCode=\"2147483648\" Message=\"\" Count=\"1\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kBadErrorCode},
      {"ErrorCode not decimal",
       Document(Item("ErrorCode=\"0x10\" Message=\"\" Count=\"1\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kBadErrorCode},
      {"Count zero",
       Document(Item("ErrorCode=\"1\" Message=\"\" Count=\"0\" DLLVer=\"\" "
                     "AppVer=\"\"")),
       ContractError::kBadCount},
      {"Count negative",
       Document(Item("ErrorCode=\"1\" Message=\"\" Count=\"-1\" DLLVer=\"\" "
                     "AppVer=\"\"")),
       ContractError::kBadCount},
      {"Count past 2^31 - 1",
       Document(Item("ErrorCode=\"1\" Message=\"\" Count=\"2147483648\" "
                     "DLLVer=\"\" AppVer=\"\"")),
       ContractError::kBadCount},
      {"Count with a sign",
       Document(Item("ErrorCode=\"1\" Message=\"\" Count=\"+1\" DLLVer=\"\" "
                     "AppVer=\"\"")),
       ContractError::kBadCount},
      {"two UUIDs", Document("") + Document("", "{other}"), ContractError::kUuidsDiffer},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(Read(c.body)), c.expected) << c.name;
  }
}

TEST(ContractTest, HeadersAreChecked) {
  const std::string body = ReportBuilder().Document("2.1", kUuid).Text();
  const std::string key = Sha256Hex(body);
  const std::string other_key = Sha256Hex("other");
  std::string upper = key;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const struct {
    const char* name;
    UploadHeaders headers;
    std::optional<ContractError> expected;
  } cases[] = {
      {"sound", {"application/xml; charset=utf-8", key, kUuid}, std::nullopt},
      {"no client id", {"application/xml", key, std::nullopt}, std::nullopt},
      {"charset in other case, quoted",
       {"Application/XML;charset=\"UTF-8\"", key, {}},
       std::nullopt},
      {"text/xml", {"text/xml", key, {}}, ContractError::kContentType},
      {"another charset",
       {"application/xml; charset=latin1", key, {}},
       ContractError::kContentType},
      {"no content type", {"", key, {}}, ContractError::kContentType},
      {"no key", {"application/xml", std::nullopt, {}}, ContractError::kNoKey},
      {"false key", {"application/xml", other_key, {}}, ContractError::kKeyMismatch},
      {"upper-case key", {"application/xml", upper, {}}, ContractError::kKeyMismatch},
      {"other client", {"application/xml", key, "{another}"}, ContractError::kClientMismatch},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(ReadUpload(c.headers, body)), c.expected) << c.name;
  }
  EXPECT_EQ(HttpStatus(ContractError::kContentType), 415);
  EXPECT_EQ(HttpStatus(ContractError::kBadCount), 400);
  EXPECT_EQ(Reason(ContractError::kKeyMismatch).find('\n'), std::string_view::npos);
}

TEST(ContractTest, RealShapedReportsReadBackAsWritten) {
  ReportBuilder builder;
  builder.Document("2.1.0.4", kUuid)
      .Item("Error", -2147467259, "Cannot open \"C:\\x\" <&> 'q'\ttab\r\nline", "D:\\a.avi", 3,
            "1.3.2.0", "2.1.0.9")
      .Item("Warning", 7, "Slow decoder", std::nullopt, 2147483647)
      .Item("Exception", 30000, "Access violation \xF0\x9F\x98\x80", std::string(), 2)
      .Document("3.0", kUuid)
      .Document("4.0", kUuid)
      .Item("Error", 0, "", std::nullopt);
  const struct {
    const char* name;
    std::string body;
  } bodies[] = {
      {"as written", builder.Text()},
      {"declarations", "<?xml version=\"1.0\"?>\r\n" + builder.Text()},
      {"byte order mark", "\xEF\xBB\xBF" + builder.Text()},
      {"comment", "<!-- a note -->" + builder.Text()},
  };
  for (const auto& b : bodies) {
    const auto result = Read(b.body, kUuid);
    ASSERT_EQ(ErrorOf(result), std::nullopt) << b.name;
    const Upload& upload = std::get<Upload>(result);
    EXPECT_EQ(upload.client, kUuid);
    EXPECT_EQ(upload.bytes, b.body.size());
    EXPECT_EQ(upload.key, Sha256Hex(b.body));
    ASSERT_EQ(upload.documents.size(), builder.Documents().size()) << b.name;
    for (std::size_t d = 0; d < upload.documents.size(); ++d) {
      const ReportDocument& got = upload.documents[d];
      const ReportDocument& sent = builder.Documents()[d];
      EXPECT_EQ(got.product_ver, sent.product_ver);
      EXPECT_EQ(got.uuid, sent.uuid);
      ASSERT_EQ(got.items.size(), sent.items.size());
      for (std::size_t i = 0; i < got.items.size(); ++i) {
        const ReportItem& a = got.items[i];
        const ReportItem& e = sent.items[i];
        EXPECT_EQ(std::tie(a.kind, a.error_code, a.message, a.value, a.count, a.dll_ver, a.app_ver),
                  std::tie(e.kind, e.error_code, e.message, e.value, e.count, e.dll_ver, e.app_ver))
            << b.name << " item " << i;
      }
    }
  }
  // Explicit end tags, and the character references another DOM may write.
  const auto result = Read(Document(
      "\t<Error ErrorCode=\"5\" Message=\"a&#x9;b&#65;\" Count=\"1\" DLLVer=\"\" AppVer=\"\">"
      "</Error>\r\n"));
  ASSERT_EQ(ErrorOf(result), std::nullopt);
  EXPECT_EQ(std::get<Upload>(result).documents[0].items[0].message, "a\tbA");
}

TEST(ContractTest, HugeAttributeIsReadWhole) {
  const std::string huge(8 << 20, 'x');
  const auto result = Read(ReportBuilder().Item("Error", 1, huge).Text());
  ASSERT_EQ(ErrorOf(result), std::nullopt);
  EXPECT_EQ(std::get<Upload>(result).documents[0].items[0].message, huge);
}

// Tiny elements cost the parser many times their bytes; a body of nothing
// else is refused before it can take that memory.
TEST(ContractTest, ElementFloodIsRefusedWithinItsBudget) {
  std::string flood = "<Log_Error ProductVer=\"1\" UUID=\"u\">";
  while (flood.size() < (16u << 20)) flood += "<Error/>";
  flood += "</Log_Error>";
  EXPECT_EQ(ErrorOf(Read(flood)), ContractError::kTooDense);
}

// The full-size report (an all-distinct 25 MiB pending log: about 9 MB and
// 91,000 items) is read whole, well in time. Measured in this thread's CPU
// time: the test machine is shared.
TEST(ContractTest, FullSizeReportIsReadInTime) {
  ReportBuilder builder;
  builder.Document("2.1.0.4", kUuid);
  for (int i = 0; i < 91000; ++i) {
    builder.Item("Error", -2147467259 + i, "Cannot open " + std::to_string(i),
                 i % 8 ? std::nullopt
                       : std::optional<std::string>("C:\\Media\\" + std::to_string(i) + ".avi"),
                 1 + i % 7, "1.3.2." + std::to_string(i % 50), "2.1.0.9");
  }
  const std::string body = builder.Text();
  ASSERT_GT(body.size(), 8u << 20);
  const double start = ThreadSeconds();
  const auto result = Read(body);
  const double took = ThreadSeconds() - start;
  ASSERT_EQ(ErrorOf(result), std::nullopt);
  EXPECT_EQ(std::get<Upload>(result).documents[0].items.size(), 91000u);
  std::printf("full-size report: %zu bytes read in %.3f s of CPU\n", body.size(), took);
  EXPECT_LT(took, 5.0);  // under the sanitizers; optimised it is far below 1 s

  // The densest items a writer makes still fit the parser's budget.
  std::string densest = "<Log_Error ProductVer=\"\" UUID=\"\">\r\n";
  while (densest.size() < (9u << 20)) {
    densest +=
        "\t<Error ErrorCode=\"1\" Message=\"\" Value=\"\" Count=\"1\" DLLVer=\"\" "
        "AppVer=\"\"/>\r\n";
  }
  densest += "</Log_Error>\r\n\r\n";
  EXPECT_EQ(ErrorOf(Read(densest)), std::nullopt);
}
