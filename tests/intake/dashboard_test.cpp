// The dashboard's pieces as tables: escaping per context, version order,
// figures' texts, the sign-in cookie and the access rules.
#include <gtest/gtest.h>

#include "dashboard/dashboard.h"
#include "dashboard/escape.h"
#include "dashboard/page.h"
#include "dashboard/version_order.h"

namespace intake::dashboard {
namespace {

struct EscapeRow {
  const char* input;
  const char* html;  // HtmlText and Attribute
  const char* url;   // UrlComponent
};

TEST(DashboardEscape, EveryContextLeavesHostileTextInert) {
  const EscapeRow rows[] = {
      {"plain 1.0", "plain 1.0", "plain%201.0"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;",
       "%3Cscript%3Ealert%281%29%3C%2Fscript%3E"},
      {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;",
       "%22%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E"},
      {"javascript:alert('x')", "javascript:alert(&#39;x&#39;)", "javascript%3Aalert%28%27x%27%29"},
      {"a&b", "a&amp;b", "a%26b"},
      {"\xE2\x80\xAE"
       "fdp.exe",
       "\xE2\x80\xAE"
       "fdp.exe",
       "%E2%80%AEfdp.exe"},
      {"nul\x01"
       "bell\x07",
       "nul\xEF\xBF\xBD"
       "bell\xEF\xBF\xBD",
       "nul%01bell%07"},
      {"bad \xC3( \xED\xA0\x80 \xF4\x90\x80\x80",
       "bad \xEF\xBF\xBD( \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "\xEF\xBF\xBD",
       "bad%20%C3%28%20%ED%A0%80%20%F4%90%80%80"},
      {"C:\\Users\\%USERPROFILE%\\x", "C:\\Users\\%USERPROFILE%\\x",
       "C%3A%5CUsers%5C%25USERPROFILE%25%5Cx"},
  };
  for (const EscapeRow& row : rows) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(HtmlText(row.input), row.html);
    EXPECT_EQ(Attribute(row.input), row.html);
    EXPECT_EQ(UrlComponent(row.input), row.url);
    std::string back;
    ASSERT_TRUE(DecodeUrlComponent(UrlComponent(row.input), &back));
    EXPECT_EQ(back, row.input);
  }
  std::string out;
  for (const char* broken : {"%", "%4", "%G0", "a%2"}) {
    EXPECT_FALSE(DecodeUrlComponent(broken, &out)) << broken;
  }
}

TEST(DashboardVersionOrder, PartsCompareAsNumbersThenAsText) {
  // Each row: a < b.
  const std::pair<const char*, const char*> ascending[] = {
      {"1.9.0.0", "1.10.0.0"},
      {"1.10.0.0", "2.0.0.0"},
      {"1.2", "1.2.0"},
      {"1.2.3", "1.2.beta"},
      {"1.2.alpha", "1.2.beta"},
      {"9", "10"},
      {"99999999999999999999", "100000000000000000000"},
      {"", "0"},
      {"1.0.0.9", "1.0.0.10"},
      {"2.x", "10.0"},
  };
  for (const auto& [a, b] : ascending) {
    SCOPED_TRACE(std::string(a) + " < " + b);
    EXPECT_TRUE(CompareVersions(a, b) < 0);
    EXPECT_TRUE(CompareVersions(b, a) > 0);
    EXPECT_TRUE(HigherVersionFirst{}(b, a));
    EXPECT_FALSE(HigherVersionFirst{}(a, b));
  }
  EXPECT_TRUE(CompareVersions("1.01", "1.1") == 0);
  EXPECT_TRUE(CompareVersions("2.0.0.0", "2.0.0.0") == 0);
}

TEST(DashboardFigures, TextsOfCodesCompletenessAndNumbers) {
  EXPECT_EQ(CodeText(20000), "20000");
  EXPECT_EQ(CodeText(-2147024891), "-2147024891 (0x80070005)");
  EXPECT_EQ(CodeText(-1), "-1 (0xFFFFFFFF)");
  EXPECT_EQ(CompletenessText(0, 0), "no data");
  EXPECT_EQ(CompletenessText(5, 0), "100.0%");
  EXPECT_EQ(CompletenessText(9999, 1), "99.9%");  // floored: some were lost
  EXPECT_EQ(CompletenessText(1, 3), "25.0%");
  EXPECT_EQ(CompletenessText(0, 7), "0.0%");
  EXPECT_EQ(Grouped(0), "0");
  EXPECT_EQ(Grouped(1234567), "1,234,567");
  EXPECT_EQ(ReceiptTime(1772323200), "2026-03-01 00:00:00 UTC");
}

TEST(DashboardCookie, ValueRedactionAndSignIn) {
  EXPECT_EQ(CookieValue("a=1; intake_token=s%20t; b=2", "intake_token"), "s t");
  EXPECT_EQ(CookieValue("xintake_token=1", "intake_token"), std::nullopt);
  EXPECT_EQ(CookieValue("", "intake_token"), std::nullopt);
  EXPECT_EQ(RedactToken("/products/1.0?token=secret&kind=Error"),
            "/products/1.0?token=-&kind=Error");
  EXPECT_EQ(RedactToken("/?q=token"), "/?q=token");
}

// The access rules need no store: a page that reads it is never reached
// without the token, and the sign-in redirect reads nothing.
class NoStore final : public Store {
 public:
  std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>&, UnixSeconds,
                                        const RateLimit&) override {
    return {};
  }
  ReadResult<ItemPage> ListItems(const ItemQuery&) override { return Reached<ItemPage>(); }
  ReadResult<std::optional<ItemDetail>> GetItem(std::int64_t) override {
    return Reached<std::optional<ItemDetail>>();
  }
  ReadResult<std::vector<LossDay>> ListLosses(const std::optional<std::string>&) override {
    return Reached<std::vector<LossDay>>();
  }
  ReadResult<std::optional<UploadReceipt>> GetUpload(const std::string&) override {
    return Reached<std::optional<UploadReceipt>>();
  }
  ReadResult<std::vector<VersionFigures>> ListVersions(std::int64_t) override {
    return Reached<std::vector<VersionFigures>>();
  }
  ReadResult<VersionFacets> GetVersionFacets(const std::string&) override {
    return Reached<VersionFacets>();
  }
  ReadResult<VersionItemPage> ListVersionItems(const VersionItemQuery&) override {
    return Reached<VersionItemPage>();
  }
  ReadResult<std::vector<IdentityInVersion>> ListIdentityVersions(const ItemKey&) override {
    return Reached<std::vector<IdentityInVersion>>();
  }
  bool Healthy() override { return false; }
  bool Prune(UnixSeconds, std::uint32_t) override { return false; }
  int reads = 0;

 private:
  template <typename T>
  ReadResult<T> Reached() {
    ++reads;
    return {};
  }
};

std::string Header(const PageAnswer& answer, const std::string& name) {
  for (const auto& [key, value] : answer.headers) {
    if (key == name) return value;
  }
  return "";
}

TEST(DashboardAccess, TokenCookieRedirectAndHeaders) {
  struct Row {
    const char* why;
    const char* method;
    const char* target;
    std::optional<std::string_view> cookie;
    unsigned status;
    const char* location;  // for 303
    bool reads;            // the store was asked
  };
  const Row rows[] = {
      {"no token", "GET", "/", std::nullopt, 401, "", false},
      {"no token, a version", "GET", "/products/1.0", std::nullopt, 401, "", false},
      {"no token, an item", "GET", "/items/1", std::nullopt, 401, "", false},
      {"no token, losses", "GET", "/losses", std::nullopt, 401, "", false},
      {"a wrong cookie", "GET", "/", "intake_token=guess", 401, "", false},
      {"a wrong token", "GET", "/?token=guess", std::nullopt, 401, "", false},
      {"an empty token", "GET", "/?token=", std::nullopt, 401, "", false},
      {"sign-in", "GET", "/?token=good", std::nullopt, 303, "/", false},
      {"sign-in keeps the rest", "GET", "/products/1.0?kind=Error&token=good&q=a%20b", std::nullopt,
       303, "/products/1.0?kind=Error&q=a%20b", false},
      {"the cookie", "GET", "/", "x=1; intake_token=good", 503, "", true},
      {"the cookie, an item", "GET", "/items/7", "intake_token=good", 503, "", true},
      {"not a number", "GET", "/items/7x", "intake_token=good", 404, "", false},
      {"POST", "POST", "/", "intake_token=good", 405, "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    NoStore store;
    Dashboard dashboard(store, [](std::string_view token) { return token == "good"; });
    const PageAnswer answer = dashboard.Handle(row.method, row.target, row.cookie, 1772323200);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(store.reads > 0, row.reads);
    EXPECT_EQ(Header(answer, "Content-Security-Policy"), kContentSecurityPolicy);
    EXPECT_EQ(Header(answer, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(Header(answer, "Referrer-Policy"), "no-referrer");
    if (row.status == 303) {
      EXPECT_EQ(Header(answer, "Location"), row.location);
      EXPECT_EQ(Header(answer, "Set-Cookie"),
                "intake_token=good; Path=/; HttpOnly; SameSite=Strict");
    }
    if (row.status == 401) {
      EXPECT_NE(answer.body.find("name=\"token\""), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace intake::dashboard
