// The XML report writer against the real DOM: content, order, well-formed
// text, file names, and complete-or-nothing delivery.
#include <windows.h>
#include <gtest/gtest.h>
#include <msxml2.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Win/unique_resource.h"
#include "report/dom_document.h"
#include "report/log2xml.h"
#include "report/msxml_ids.h"
#include "report/report_file_names.h"
#include "support/dom_walk.h"
#include "support/log_bytes_builder.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

struct ComApartment {
  ComApartment() { CoInitialize(nullptr); }
  ~ComApartment() { CoUninitialize(); }
};

// Builds a tree by hand; texts are borrowed from string literals.
class TreeBuilder {
 public:
  explicit TreeBuilder(ProductList& products) : m_products(products) {}
  TreeBuilder& Product(std::u16string version) {
    m_products.push_back(std::make_unique<ProductGroup>());
    m_products.back()->strProductVersion = std::move(version);
    return *this;
  }
  TreeBuilder& App(std::u16string_view version) {
    auto app = std::make_unique<AppGroup>();
    app->pszAppName = u"Player.exe";
    app->pszAppVersion = version;
    m_products.back()->vecApps.push_back(std::move(app));
    return *this;
  }
  TreeBuilder& Module(std::u16string_view version) {
    auto module = std::make_unique<ModuleGroup>();
    module->pszModuleName = u"module.dll";
    module->pszModuleVersion = version;
    m_products.back()->vecApps.back()->vecModules.push_back(std::move(module));
    return *this;
  }
  TreeBuilder& Item(std::uint32_t kind, std::int32_t code, std::u16string_view message,
                    std::optional<std::u16string_view> value, std::int32_t count) {
    auto item = std::make_unique<ErrorItem>();
    item->nKind = kind;
    item->nErrorCode = code;
    item->pszMessage = message;
    item->pszValue = value;
    item->nCount = count;
    m_products.back()->vecApps.back()->vecModules.back()->vecItems.push_back(std::move(item));
    return *this;
  }

 private:
  ProductList& m_products;
};

void BuildOneAppOfTwoModules(CLog2XML& log) {
  TreeBuilder(log.m_vecProducts)
      .Product(u"2.1.0.4")
      .App(u"2.1.0.9")
      .Module(u"1.3.2.0")
      .Item(1, static_cast<std::int32_t>(0x80004005), u"Cannot open file", u"D:\\media\\a.avi", 3)
      .Item(2, 7, u"Slow decoder", std::nullopt, 1)
      .Module(u"1.0.5.2")
      .Item(5, 1, u"unknown kind", std::nullopt, 4)
      .Item(3, 30000, u"Access violation", u"", 2);
}

std::wstring TextReport(CLog2XML& log, bool* ok = nullptr) {
  BSTR text = nullptr;
  bool built = log.BuildXml(&text, nullptr);
  if (ok) *ok = built;
  UniqueBstr owner;
  owner.reset(text);
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// `xml` loaded into a fresh document; empty when the parser rejects it.
ComPtr<IXMLDOMDocument> Parsed(const std::wstring& xml) {
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, kIidXmlDomDocument,
                              document.put_void()))) {
    return ComPtr<IXMLDOMDocument>();
  }
  UniqueBstr source;
  source.reset(SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size())));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->loadXML(source.get(), &loaded)) || loaded != VARIANT_TRUE) {
    return ComPtr<IXMLDOMDocument>();
  }
  return document;
}

bool ParsesBack(const std::wstring& xml) { return static_cast<bool>(Parsed(xml)); }

// One item element of a report, as the DOM reads it back.
struct ReadItem {
  std::wstring kind;
  std::wstring message;
  std::wstring value;
  bool hasValue = false;
  std::wstring count;
  std::wstring productVersion;
  bool operator==(const ReadItem&) const = default;
};

// Calls visit(root) with the root element of each document of a text-mode
// report; false when a document does not parse or visit returns false.
template <typename Visit>
bool ForEachDocumentRoot(const std::wstring& text, Visit&& visit) {
  for (size_t start = text.find(L"<Log_Error"); start != std::wstring::npos;) {
    const size_t next = text.find(L"<Log_Error", start + 1);
    ComPtr<IXMLDOMDocument> document =
        Parsed(text.substr(start, next == std::wstring::npos ? next : next - start));
    start = next;
    ComPtr<IXMLDOMElement> root;
    if (!document || document->get_documentElement(root.put()) != S_OK || !visit(root.get())) {
      return false;
    }
  }
  return true;
}

// Every item of every document of a text-mode report, in document order;
// false when a document does not parse.
bool ReadItems(const std::wstring& text, std::vector<ReadItem>& items) {
  return ForEachDocumentRoot(text, [&](IXMLDOMElement* root) {
    const std::wstring productVersion = AttributeOf(root, L"ProductVer").value_or(L"");
    return ForEachChildElement(root, [&](IXMLDOMElement* element) {
      UniqueBstr tag;
      if (FAILED(element->get_tagName(tag.put()))) return false;
      const std::optional<std::wstring> value = AttributeOf(element, L"Value");
      items.push_back({.kind = std::wstring(tag.get(), SysStringLen(tag.get())),
                       .message = AttributeOf(element, L"Message").value_or(L""),
                       .value = value.value_or(L""),
                       .hasValue = value.has_value(),
                       .count = AttributeOf(element, L"Count").value_or(L""),
                       .productVersion = productVersion});
      return true;
    });
  });
}

// The elements of every document of a text-mode report as the DOM reads
// them, written back without the serializer's layout: "<Tag a=\"v\">" for
// each element in document order, "</Tag>" after its children. MSXML and
// other DOMs indent differently; this form does not depend on it.
bool AppendCanonical(IXMLDOMElement* element, std::wstring& out) {
  UniqueBstr tag;
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (FAILED(element->get_tagName(tag.put())) ||
      FAILED(element->get_attributes(attributes.put())) || FAILED(attributes->get_length(&count))) {
    return false;
  }
  out += L"<" + std::wstring(tag.get());
  for (long i = 0; i < count; ++i) {
    ComPtr<IXMLDOMNode> attribute;
    UniqueBstr name;
    UniqueBstr text;
    if (FAILED(attributes->get_item(i, attribute.put())) ||
        FAILED(attribute->get_nodeName(name.put())) || FAILED(attribute->get_text(text.put()))) {
      return false;
    }
    out += L" " + std::wstring(name.get()) + L"=\"" +
           std::wstring(text.get(), SysStringLen(text.get())) + L"\"";
  }
  out += L">";
  if (!ForEachChildElement(element,
                           [&](IXMLDOMElement* child) { return AppendCanonical(child, out); })) {
    return false;
  }
  out += L"</" + std::wstring(tag.get()) + L">";
  return true;
}

// The canonical form of every document of `text`; empty when one does not
// parse.
std::wstring Canonical(const std::wstring& text) {
  std::wstring out;
  const bool read =
      ForEachDocumentRoot(text, [&](IXMLDOMElement* root) { return AppendCanonical(root, out); });
  return read ? out : L"";
}

// Every character XML 1.0 allows, surrogates only in pairs.
bool AllCharactersAllowed(const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') return false;
    if (c == 0xFFFE || c == 0xFFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

class ReportXmlTest : public ::testing::Test {
 protected:
  std::wstring Uuid() const { return ReadIni(m_folder.path(), L"Client", L"Uuid"); }

  TempDataFolder m_folder;
  ComApartment m_apartment;
};

TEST_F(ReportXmlTest, TextModeWritesKnownKindsInOrderWithTheirVersions) {
  CLog2XML log;
  BuildOneAppOfTwoModules(log);
  bool ok = false;
  std::wstring text = TextReport(log, &ok);
  ASSERT_TRUE(ok);
  const std::wstring expected =
      L"<Log_Error ProductVer=\"2.1.0.4\" UUID=\"" + Uuid() +
      L"\">"
      L"<Error ErrorCode=\"-2147467259\" Message=\"Cannot open file\" "
      L"Value=\"D:\\media\\a.avi\" Count=\"3\" DLLVer=\"1.3.2.0\" AppVer=\"2.1.0.9\"></Error>"
      L"<Warning ErrorCode=\"7\" Message=\"Slow decoder\" Count=\"1\" DLLVer=\"1.3.2.0\" "
      L"AppVer=\"2.1.0.9\"></Warning>"
      L"<Exception ErrorCode=\"30000\" Message=\"Access violation\" Value=\"\" Count=\"2\" "
      L"DLLVer=\"1.0.5.2\" AppVer=\"2.1.0.9\"></Exception>"
      L"</Log_Error>";
  EXPECT_EQ(Canonical(text), expected);
  EXPECT_TRUE(text.ends_with(L"</Log_Error>\r\n\r\n")) << "each document ends in CR LF";
  EXPECT_EQ(Uuid().size(), 38u);
  EXPECT_TRUE(ParsesBack(text));
}

TEST_F(ReportXmlTest, TwoProductsGiveTwoDocumentsWithOneUuid) {
  CLog2XML log;
  TreeBuilder(log.m_vecProducts)
      .Product(u"1.0")
      .App(u"a")
      .Module(u"m")
      .Item(1, 1, u"first", std::nullopt, 1)
      .Product(u"2.0")
      .App(u"a")
      .Module(u"m")
      .Item(9, 1, u"only an unknown kind", std::nullopt, 1);
  std::wstring text = TextReport(log);
  std::wstring uuid = Uuid();
  std::wstring first = L"<Log_Error ProductVer=\"1.0\" UUID=\"" + uuid + L"\">";
  std::wstring second = L"<Log_Error ProductVer=\"2.0\" UUID=\"" + uuid + L"\"/>\r\n\r\n";
  ASSERT_EQ(text.find(first), 0u) << std::string(text.begin(), text.end());
  EXPECT_TRUE(text.ends_with(second));
  size_t split = text.find(L"</Log_Error>\r\n\r\n") + 16;
  ASSERT_NE(split, std::wstring::npos + 16);
  EXPECT_TRUE(ParsesBack(text.substr(0, split)));
  EXPECT_TRUE(ParsesBack(text.substr(split)));

  std::wstring reportPath;
  ASSERT_TRUE(log.SaveXmlReport(m_folder.path().c_str(), reportPath));
  EXPECT_EQ(reportPath, m_folder.path() + L"\\LogError_");
  EXPECT_TRUE(FileExists(m_folder.File(L"LogError_1.0.xml")));
  EXPECT_TRUE(FileExists(m_folder.File(L"LogError_2.0.xml")));
}

TEST_F(ReportXmlTest, EmptyTreeBuildsNothing) {
  CLog2XML log;
  BSTR untouched = reinterpret_cast<BSTR>(0x1234);
  EXPECT_FALSE(log.BuildXml(&untouched, nullptr));
  EXPECT_EQ(untouched, reinterpret_cast<BSTR>(0x1234));
  std::wstring path;
  EXPECT_FALSE(log.SaveXmlReport(m_folder.path().c_str(), path));
  EXPECT_FALSE(FileExists(m_folder.File(L"settings.ini")));  // no client identifier fetched
}

TEST_F(ReportXmlTest, ForbiddenCharactersNeverReachTheDocument) {
  const std::u16string hostile = u"a\u0001b\u000Bc\uFFFEd\uFFFF\xD800x\xDC00y\U0001F600\t\r\n<&>\"";
  CLog2XML log;
  TreeBuilder(log.m_vecProducts)
      .Product(u"..\\..\\evil:<1>")
      .App(hostile)
      .Module(hostile)
      .Item(1, 1, hostile, hostile, 1);
  bool ok = false;
  std::wstring text = TextReport(log, &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(AllCharactersAllowed(text));
  EXPECT_TRUE(ParsesBack(text));
  EXPECT_NE(text.find(L"\U0001F600"), std::wstring::npos);  // pairs survive
  EXPECT_NE(text.find(L"ProductVer=\"..\\..\\evil:&lt;1&gt;\""), std::wstring::npos);

  // The product version names the file, but cannot lead out of the folder.
  std::wstring path;
  ASSERT_TRUE(log.SaveXmlReport(m_folder.path().c_str(), path));
  EXPECT_TRUE(FileExists(m_folder.File(L"LogError_.._.._evil__1_.xml")));
}

TEST_F(ReportXmlTest, FailuresFailTheWholeBuild) {
  CLog2XML log;
  TreeBuilder(log.m_vecProducts)
      .Product(u"1.0")
      .App(u"a")
      .Module(u"m")
      .Item(1, 1, u"x", std::nullopt, 1)
      .Product(u"2.0")
      .App(u"a")
      .Module(u"m")
      .Item(1, 1, u"y", std::nullopt, 1);

  // A folder that does not exist: nothing can be saved.
  std::wstring path;
  EXPECT_FALSE(log.SaveXmlReport(m_folder.File(L"missing").c_str(), path));

  // One document cannot be saved: the build fails, the other is still written.
  ASSERT_TRUE(CreateDirectoryW(m_folder.File(L"LogError_1.0.xml").c_str(), nullptr));
  EXPECT_FALSE(log.SaveXmlReport(m_folder.path().c_str(), path));
  EXPECT_TRUE(FileExists(m_folder.File(L"LogError_2.0.xml")));

  // A thread outside any COM apartment cannot create documents.
  bool built = true;
  BSTR text = nullptr;
  std::thread([&] { built = log.BuildXml(&text, nullptr); }).join();
  EXPECT_FALSE(built);
  EXPECT_EQ(text, nullptr);
}

// A damaged pending log, read and reported as GetReport does (LoadLogFile,
// then BuildXml in text mode): every whole record is in the report, and only
// those; damage costs only its own bytes.
TEST_F(ReportXmlTest, DamagedPendingLogReportsEveryWholeRecord) {
  using logtest::LogBytesBuilder;
  using logtest::RecordBytes;
  using logtest::RecordFields;
  using Bytes = std::vector<std::uint8_t>;
  const RecordFields fields[] = {
      RecordFields().Message(u"first").Value(u"C:\\a.mp3"),
      RecordFields().Kind(2).Code(7).Message(u"second"),
      RecordFields().Kind(3).Code(30000).Message(u"third").Value(u""),
      RecordFields().Message(u"fourth").Product(u"2.0.0.1"),
      RecordFields().Message(u"first").Value(u"C:\\a.mp3"),  // joins the first item
  };
  const std::vector<ReadItem> expected = {
      {L"Error", L"first", L"C:\\a.mp3", true, L"2", L"1.0.0.1"},
      {L"Warning", L"second", L"", false, L"1", L"1.0.0.1"},
      {L"Exception", L"third", L"", true, L"1", L"1.0.0.1"},
      {L"Error", L"fourth", L"", false, L"1", L"2.0.0.1"},
  };
  const Bytes torn = [] {
    Bytes record = RecordBytes(RecordFields().Message(u"never written whole"));
    record.resize(record.size() / 2 & ~std::size_t{1});
    return record;
  }();
  Bytes junk(1000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 131 + 7);
  RecordFields oddLength;
  oddLength.messageBytes = 5;
  const struct {
    const char* name;
    LogFileHeader header;
    Bytes damage;
  } cases[] = {
      {"4 KiB of zeros", kLogFileHeader, Bytes(4096, 0)},
      {"a torn record", kLogFileHeader, torn},
      {"junk", kLogFileHeader, junk},
      {"an odd text length", kLogFileHeader, RecordBytes(oddLength)},
      {"zeroed file header and zeros", LogFileHeader{0, 0, 0}, Bytes(512, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogBytesBuilder builder(c.header);
    builder.Record(fields[0]).Record(fields[1]).Record(fields[2]).Raw(c.damage);
    builder.Record(fields[3]).Record(fields[4]);
    const Bytes bytes = builder.Bytes();
    ASSERT_TRUE(WriteFileBytes(m_folder.File(L"error.bf"), bytes));

    CLog2XML log;
    ASSERT_TRUE(log.LoadLogFile());
    EXPECT_EQ(log.FileDataBytes(), bytes.size());
    bool ok = false;
    const std::wstring text = TextReport(log, &ok);
    ASSERT_TRUE(ok);
    std::vector<ReadItem> items;
    ASSERT_TRUE(ReadItems(text, items)) << std::string(text.begin(), text.end());
    EXPECT_EQ(items, expected) << std::string(text.begin(), text.end());
  }
}

TEST_F(ReportXmlTest, NullFolderSavesIntoTheDataFolder) {
  CLog2XML log;
  TreeBuilder(log.m_vecProducts).Product(u"3.1").App(u"a").Module(u"m").Item(2, 5, u"w", {}, 1);
  std::wstring path;
  ASSERT_TRUE(log.SaveXmlReport(nullptr, path));
  EXPECT_EQ(path, m_folder.File(L"LogError_"));
  EXPECT_TRUE(FileExists(m_folder.File(L"LogError_3.1.xml")));
}

}  // namespace

namespace {

// Files of one SaveXmlReport, read back by name: version -> file.
std::vector<std::wstring> SavedNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  UniqueFindHandle find;
  find.reset(FindFirstFileW((folder + L"\\LogError_*.xml").c_str(), &data));
  if (find) {
    do names.push_back(data.cFileName);
    while (FindNextFileW(find.get(), &data));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Saving never overwrites one version's document with another's, and never
// writes anywhere but the folder it was given.
TEST_F(ReportXmlTest, SavedFilesNeverCollideOrLandInTheCurrentFolder) {
  const struct {
    std::vector<std::u16string> versions;
    std::vector<std::wstring> files;
  } cases[] = {
      {{u"1/2", u"1:2", u"1*2"},
       {L"LogError_1_2 (2).xml", L"LogError_1_2 (3).xml", L"LogError_1_2.xml"}},
      {{u"A", u"a"}, {L"LogError_A.xml", L"LogError_a (2).xml"}},
      {{u"2.0", u"3.0"}, {L"LogError_2.0.xml", L"LogError_3.0.xml"}},
      // A repeat goes on past names that versions took for themselves.
      {{u"v (2)", u"v", u"V", u"v (3)", u"v/"},
       {L"LogError_V (3).xml", L"LogError_v (2).xml", L"LogError_v (3) (2).xml", L"LogError_v.xml",
        L"LogError_v_.xml"}},
      {{u"\u00e4", u"\u00c4", u"\u00c4 (2)"},
       {L"LogError_\u00c4 (2) (2).xml", L"LogError_\u00c4 (2).xml", L"LogError_\u00e4.xml"}},
  };
  for (const auto& c : cases) {
    TempDataFolder target;
    CLog2XML log;
    TreeBuilder tree(log.m_vecProducts);
    for (const auto& version : c.versions)
      tree.Product(version).App(u"a").Module(u"m").Item(1, 1, u"e", {}, 1);
    std::wstring path;
    EXPECT_TRUE(log.SaveXmlReport(target.path().c_str(), path));
    EXPECT_EQ(SavedNames(target.path()), c.files);
  }

  CLog2XML log;
  TreeBuilder(log.m_vecProducts).Product(u"9.9").App(u"a").Module(u"m").Item(1, 1, u"e", {}, 1);
  SetCurrentDirectoryW(m_folder.path().c_str());
  wchar_t empty[1] = L"";
  EXPECT_FALSE(log.BuildXml(nullptr, empty)) << "an empty report path fails the save";
  EXPECT_TRUE(SavedNames(m_folder.path()).empty());
  EXPECT_FALSE(FileExists(m_folder.File(L"9.9.xml")));
}

// The names' set folds case unit by unit; it must join exactly the units
// that the ordinal comparison without case finds equal. Sorted by their
// fold, equal neighbours share one and unequal ones do not.
TEST(ReportFileNamesTest, FoldAgreesWithTheOrdinalComparisonForEveryUnit) {
  std::vector<wchar_t> units(0x10000);
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<wchar_t>(i);
  const auto fold = [](wchar_t c) { return FileNameUpperCase(c); };
  std::stable_sort(units.begin(), units.end(),
                   [&](wchar_t a, wchar_t b) { return fold(a) < fold(b); });
  const auto same = [](wchar_t a, wchar_t b) {
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
  };
  int mismatches = 0;
  for (std::size_t i = 1; i < units.size(); ++i) {
    mismatches += !same(units[i], fold(units[i]));
    mismatches += same(units[i - 1], units[i]) != (fold(units[i - 1]) == fold(units[i]));
  }
  EXPECT_EQ(mismatches, 0);
}

// Versions made only of what a file name cannot hold all clean to one name;
// each must find its repeat without a search over every name given, so
// saving them costs what saving as many distinct names does.
TEST_F(ReportXmlTest, ManyVersionsOfOneCleanNameSaveAsFastAsDistinctOnes) {
  const auto save = [](const std::vector<std::u16string>& versions,
                       std::vector<std::wstring>& names) {
    CLog2XML log;
    TreeBuilder tree(log.m_vecProducts);
    for (const auto& version : versions)
      tree.Product(version).App(u"a").Module(u"m").Item(1, 1, u"e", {}, 1);
    TempDataFolder target;
    std::wstring path;
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(log.SaveXmlReport(target.path().c_str(), path));
    names = SavedNames(target.path());
    return (GetTickCount64() - start) / 1000.0;
  };
  std::vector<std::u16string> distinct, oneName;
  for (int i = 0; i < 1000; ++i) {
    const std::string n = "1.0." + std::to_string(i);
    distinct.emplace_back(n.begin(), n.end());
    oneName.emplace_back();
    for (int rest = i, digit = 0; digit < 7; ++digit, rest /= 3) oneName.back() += u"?*:"[rest % 3];
  }
  std::vector<std::wstring> names;
  const double ordinary = save(distinct, names);
  EXPECT_LT(save(oneName, names), 2 * ordinary + 1.0) << "distinct names: " << ordinary << " s";
  ASSERT_EQ(names.size(), 1000u);
  EXPECT_EQ(names.back(), L"LogError________.xml");
  EXPECT_NE(std::find(names.begin(), names.end(), L"LogError________ (1000).xml"), names.end());
}
