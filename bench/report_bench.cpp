// Report building on a 25 MiB pending log file: all-distinct records, and 100
// distinct records repeating. Prints, side by side in one run: reading the
// file, loading and folding, the whole text-mode report, and the DOM's own
// floor for building and serialising the same elements.
//
//   report_bench            all figures
//   report_bench memory X   peak working set of one whole report of file
//                           X ("distinct" or "repeating"), in a fresh process
#include <windows.h>
#include <msxml2.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Win/program_folder.h"
#include "Win/unique_resource.h"
#include "bench_support.h"
#include "format/log_format.h"
#include "report/log2xml.h"
#include "report/msxml_ids.h"

using namespace suite;

namespace {

constexpr std::size_t kFileBytes = 25 * 1024 * 1024;
constexpr int kRuns = 3;

void AppendText(std::vector<std::uint8_t>& out, const std::u16string& text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  out.insert(out.end(), bytes, bytes + (text.size() + 1) * 2);
}

void CopyField(char16_t (&field)[kLogTextFieldChars], const std::u16string& text) {
  std::memcpy(field, text.c_str(), (text.size() + 1) * 2);
}

// A pending log file of about 25 MiB; `distinct` records differ by message.
std::vector<std::uint8_t> MakeLog(int distinct) {
  std::vector<std::uint8_t> out(reinterpret_cast<const std::uint8_t*>(&kLogFileHeader),
                                reinterpret_cast<const std::uint8_t*>(&kLogFileHeader) + 12);
  for (int i = 0; out.size() < kFileBytes - 400; ++i) {
    int n = distinct > 0 ? i % distinct : i;
    // Short texts: about 290 bytes a record, some 90,000 records.
    std::u16string app = u"a.exe";
    std::u16string module = u"m0.dll";
    module[1] = static_cast<char16_t>(u'0' + n % 7);
    std::u16string message = u"E";
    for (char c : std::to_string(n)) message.push_back(static_cast<char16_t>(c));
    LogRecordHeader header{};
    header.HeaderSize = kLogRecordHeaderSize;
    header.FormatTag = kLogRecordFormatTag;
    header.Kind = 1 + n % 3;
    header.ErrorCode = -2147467259 + n;
    header.AppNameBytes = static_cast<std::uint32_t>((app.size() + 1) * 2);
    header.ModuleNameBytes = static_cast<std::uint32_t>((module.size() + 1) * 2);
    header.MessageBytes = static_cast<std::uint32_t>((message.size() + 1) * 2);
    header.ValueBytes = 0;
    header.StringBytes =
        header.AppNameBytes + header.ModuleNameBytes + header.MessageBytes + header.ValueBytes;
    CopyField(header.ProductVersion, u"2.1.0.4");
    CopyField(header.AppVersion, u"2.1.0.9");
    CopyField(header.ModuleVersion, u"1.3.2.0");
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&header);
    out.insert(out.end(), bytes, bytes + sizeof(header));
    AppendText(out, app);
    AppendText(out, module);
    AppendText(out, message);
  }
  return out;
}

void WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void ReadAll(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size;
  GetFileSizeEx(file, &size);
  std::vector<std::uint8_t> buffer(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
  CloseHandle(file);
}

std::size_t WholeReport() {
  CLog2XML log;
  if (!log.LoadLogFile()) return 0;
  BSTR text = nullptr;
  if (!log.BuildXml(&text, nullptr)) return 0;
  std::size_t length = SysStringLen(text);
  SysFreeString(text);
  return length;
}

std::size_t CountItems(const CLog2XML& log) {
  std::size_t count = 0;
  for (const auto& product : log.m_vecProducts)
    for (const auto& app : product->vecApps)
      for (const auto& module : app->vecModules) count += module->vecItems.size();
  return count;
}

// The DOM alone: the elements and attribute values of the same tree, every
// name and value made into a BSTR beforehand and only the DOM calls timed.
struct PreparedItem {
  UniqueBstr values[6];
};

std::vector<PreparedItem> Prepare(const CLog2XML& log) {
  std::vector<PreparedItem> items;
  auto bstr = [](std::u16string_view text) {
    UniqueBstr owner;
    owner.reset(SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()),
                                  static_cast<UINT>(text.size())));
    return owner;
  };
  auto number = [](int value) {
    UniqueBstr owner;
    owner.reset(SysAllocString(std::to_wstring(value).c_str()));
    return owner;
  };
  for (const auto& product : log.m_vecProducts)
    for (const auto& app : product->vecApps)
      for (const auto& module : app->vecModules)
        for (const auto& item : module->vecItems) {
          PreparedItem prepared;
          prepared.values[0] = number(item->nErrorCode);
          prepared.values[1] = bstr(item->pszMessage);
          prepared.values[2] = bstr(item->pszValue.value_or(u""));
          prepared.values[3] = number(item->nCount);
          prepared.values[4] = bstr(module->pszModuleVersion);
          prepared.values[5] = bstr(app->pszAppVersion);
          items.push_back(std::move(prepared));
        }
  return items;
}

void DomFloor(const std::vector<PreparedItem>& items) {
  ComPtr<IXMLDOMDocument> document;
  CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, kIidXmlDomDocument, document.put_void());
  UniqueBstr rootName, itemName, attributeName[6];
  rootName.reset(SysAllocString(L"Log_Error"));
  itemName.reset(SysAllocString(L"Error"));
  const wchar_t* names[6] = {L"ErrorCode", L"Message", L"Value", L"Count", L"DLLVer", L"AppVer"};
  for (int i = 0; i < 6; ++i) attributeName[i].reset(SysAllocString(names[i]));
  ComPtr<IXMLDOMElement> root;
  ComPtr<IXMLDOMNode> appended;
  document->createElement(rootName.get(), root.put());
  document->appendChild(root.get(), appended.put());
  for (const PreparedItem& item : items) {
    ComPtr<IXMLDOMElement> element;
    ComPtr<IXMLDOMNode> node;
    document->createElement(itemName.get(), element.put());
    root->appendChild(element.get(), node.put());
    for (int i = 0; i < 6; ++i) {
      VARIANT variant;
      VariantInit(&variant);
      V_VT(&variant) = VT_BSTR;
      V_BSTR(&variant) = item.values[i].get();
      element->setAttribute(attributeName[i].get(), variant);
    }
  }
  UniqueBstr text;
  document->get_xml(text.put());
}

double PeakPrivateMiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize / 1048576.0;
}

int MemoryRun(const std::wstring& folder, const std::wstring& which) {
  std::wstring source = folder + L"\\" + which + L".bf";
  CopyFileW(source.c_str(), (folder + L"\\error.bf").c_str(), FALSE);
  double before = PeakPrivateMiB();
  std::size_t length = WholeReport();
  double after = PeakPrivateMiB();
  printf("%.1f %.1f %zu\n", before, after, length);
  return length == 0;
}

// Runs this program again for one memory measurement; its peak figures.
void MeasureMemory(const std::wstring& which, double fileMiB) {
  std::wstring command = L"\"" + ProgramFolder() + L"\\report_bench.exe\" memory " + which;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return;
  }
  CloseHandle(writeEnd);
  char output[256] = {};
  DWORD read = 0;
  ReadFile(readEnd, output, sizeof(output) - 1, &read, nullptr);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(readEnd);
  double before = 0, after = 0;
  if (sscanf(output, "%lf %lf", &before, &after) == 2) {
    printf(
        "  peak working set of the whole report (%ls): %.1f MiB over a baseline of "
        "%.1f MiB, %.1f times the file\n",
        which.c_str(), after - before, before, (after - before) / fileMiB);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitialize(nullptr);
  if (argc == 3 && std::wstring(argv[1]) == L"memory") {
    // The parent's data folder, inherited through the environment.
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"CRT_DATA_DIR", folder, MAX_PATH);
    return MemoryRun(folder, argv[2]);
  }
  std::wstring folder = MakeBenchDataFolder(L"report-bench");

  struct Input {
    const wchar_t* name;
    int distinct;
  } inputs[] = {{L"distinct", 0}, {L"repeating", 100}};
  for (const Input& input : inputs) {
    std::vector<std::uint8_t> bytes = MakeLog(input.distinct);
    std::wstring pending = folder + L"\\error.bf";
    WriteAll(pending, bytes);
    WriteAll(folder + L"\\" + input.name + L".bf", bytes);
    std::size_t items = 0;
    double read = MedianSeconds(kRuns, [&] { ReadAll(pending); });
    double fold = MedianSeconds(kRuns, [&] {
      CLog2XML log;
      log.LoadLogFile();
      items = CountItems(log);
    });
    std::size_t length = 0;
    double whole = MedianSeconds(kRuns, [&] { length = WholeReport(); });
    CLog2XML loaded;
    loaded.LoadLogFile();
    std::vector<PreparedItem> prepared = Prepare(loaded);
    double floor = MedianSeconds(kRuns, [&] { DomFloor(prepared); });
    double fileMiB = bytes.size() / 1048576.0;
    printf("%ls: %.1f MiB, %zu items, report text %zu characters, median of %d runs\n", input.name,
           fileMiB, items, length, kRuns);
    printf("  read the file            %8.3f s\n", read);
    printf("  load and fold            %8.3f s  %.3f of the DOM floor, %.2f times the read\n", fold,
           fold / floor, fold / read);
    printf("  whole text-mode report   %8.3f s  %.2f times the DOM floor, %.1f times the read\n",
           whole, whole / floor, whole / read);
    printf("  DOM floor (same elements)%8.3f s\n", floor);
    MeasureMemory(input.name, fileMiB);
    DeleteFileW((folder + L"\\" + input.name + L".bf").c_str());
  }
  CoUninitialize();
  return 0;
}
