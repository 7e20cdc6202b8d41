#include "read_api.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <map>

#include "http/json_writer.h"

namespace intake {

namespace {

constexpr std::uint32_t kMaxPageItems = 1000;

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Compares without stopping at the first difference, so timing tells nothing
// about how much of a guess was right.
bool SameText(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i % (b.empty() ? 1 : b.size())]);
  }
  return difference == 0 && !b.empty();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoding of a query component; nullopt for a broken escape.
std::optional<std::string> Decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The query's parameters; nullopt when one is broken or repeated.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
  std::map<std::string, std::string> parameters;
  while (!query.empty()) {
    const auto end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view{} : query.substr(end + 1);
    if (pair.empty()) continue;
    const auto equals = pair.find('=');
    auto name = Decode(pair.substr(0, equals));
    auto value = Decode(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
    if (!name || !value || !parameters.emplace(std::move(*name), std::move(*value)).second) {
      return std::nullopt;
    }
  }
  return parameters;
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, Number min, Number max) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::string_view CauseName(LossCause cause) {
  switch (cause) {
    case LossCause::kDayLogCap:
      return "dayLogCap";
    case LossCause::kDropped:
      return "dropped";
    case LossCause::kPendingFull:
      return "pendingFull";
    case LossCause::kTornRecord:
      return "tornRecord";
  }
  return "unknown";
}

void WriteSummaryFields(JsonWriter& json, const ItemSummary& item) {
  json.Key("id").Number(item.id);
  json.Key("product").String(item.key.product_ver);
  json.Key("kind").String(item.key.kind);
  json.Key("errorCode").Number(static_cast<std::int64_t>(item.key.error_code));
  json.Key("message").String(item.key.message);
  json.Key("value");
  if (item.key.value) {
    json.String(*item.key.value);
  } else {
    json.Null();
  }
  json.Key("dllVer").String(item.key.dll_ver);
  json.Key("appVer").String(item.key.app_ver);
  json.Key("count").Number(item.count);
  json.Key("clients").Number(item.clients);
  json.Key("firstSeen").String(UtcText(item.first_seen));
  json.Key("lastSeen").String(UtcText(item.last_seen));
}

Reply ItemsJson(const ItemPage& page) {
  JsonWriter json;
  json.BeginObject().Key("items").BeginArray();
  for (const ItemSummary& item : page.items) {
    json.BeginObject();
    WriteSummaryFields(json, item);
    json.EndObject();
  }
  json.EndArray().Key("next");
  if (page.next) {
    json.String(*page.next);
  } else {
    json.Null();
  }
  return JsonReply(json.EndObject().text());
}

Reply ItemJson(const ItemDetail& item) {
  JsonWriter json;
  json.BeginObject();
  WriteSummaryFields(json, item.summary);
  json.Key("days").BeginArray();
  for (const DayCount& day : item.days) {
    json.BeginObject().Key("day").String(day.day).Key("count").Number(day.count).EndObject();
  }
  return JsonReply(json.EndArray().EndObject().text());
}

Reply LossesJson(const std::vector<LossDay>& losses) {
  JsonWriter json;
  std::map<int, std::uint64_t> per_cause;
  std::uint64_t total = 0;
  json.BeginObject().Key("losses").BeginArray();
  for (const LossDay& loss : losses) {
    json.BeginObject()
        .Key("cause")
        .String(CauseName(loss.cause))
        .Key("code")
        .Number(static_cast<std::int64_t>(loss.cause))
        .Key("product")
        .String(loss.product_ver)
        .Key("day")
        .String(loss.day)
        .Key("records")
        .Number(loss.records_lost)
        .EndObject();
    per_cause[static_cast<int>(loss.cause)] += loss.records_lost;
    total += loss.records_lost;
  }
  json.EndArray().Key("totals").BeginArray();
  for (const auto& [code, records] : per_cause) {
    json.BeginObject()
        .Key("cause")
        .String(CauseName(static_cast<LossCause>(code)))
        .Key("code")
        .Number(static_cast<std::int64_t>(code))
        .Key("records")
        .Number(records)
        .EndObject();
  }
  return JsonReply(json.EndArray().Key("total").Number(total).EndObject().text());
}

Reply UploadJson(const UploadReceipt& receipt) {
  JsonWriter json;
  json.BeginObject()
      .Key("key")
      .String(receipt.key)
      .Key("client")
      .String(receipt.client)
      .Key("received")
      .String(UtcText(receipt.received))
      .Key("items")
      .Number(receipt.items)
      .Key("bytes")
      .Number(receipt.bytes)
      .Key("productVersions")
      .BeginArray();
  for (const std::string& version : receipt.product_versions) json.String(version);
  return JsonReply(json.EndArray().EndObject().text());
}

std::optional<ItemQuery> ItemQueryFrom(const std::map<std::string, std::string>& parameters) {
  ItemQuery query;
  for (const auto& [name, value] : parameters) {
    if (name == "product") {
      query.product = value;
    } else if (name == "kind") {
      query.kind = value;
    } else if (name == "q") {
      query.text = value;
    } else if (name == "after") {
      query.after = value;
    } else if (name == "sort") {
      if (value == "count") {
        query.sort = ItemSort::kCount;
      } else if (value == "clients") {
        query.sort = ItemSort::kClients;
      } else if (value == "last_seen") {
        query.sort = ItemSort::kLastSeen;
      } else {
        return std::nullopt;
      }
    } else if (name == "limit") {
      const auto limit = ParseNumber<std::uint32_t>(value, 1, kMaxPageItems);
      if (!limit) return std::nullopt;
      query.limit = *limit;
    } else {
      return std::nullopt;
    }
  }
  // An empty filter is no filter: a form sends "product=" for "any".
  for (auto* filter : {&query.product, &query.kind, &query.text}) {
    if (*filter && (*filter)->empty()) filter->reset();
  }
  return query;
}

template <typename T, typename Found>
Reply FromStore(const ReadResult<T>& result, Found found) {
  if (!result.available) return TextReply(HttpOutcome::kStoreUnreadable);
  return found(result.value);
}

}  // namespace

std::string UtcText(UnixSeconds seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

TokenSet TokenSet::FromText(std::string_view text) {
  std::vector<std::string> tokens;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    if (!line.empty()) tokens.emplace_back(line);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  }
  return TokenSet(std::move(tokens));
}

bool TokenSet::Admits(std::optional<std::string_view> authorization) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (!authorization || !authorization->starts_with(kScheme)) return false;
  const std::string_view offered = Trim(authorization->substr(kScheme.size()));
  bool admitted = false;
  for (const std::string& token : m_tokens) admitted |= SameText(offered, token);
  return admitted;
}

bool ReadApi::Serves(std::string_view target) {
  const std::string_view path = target.substr(0, target.find('?'));
  return path == "/healthz" || path.starts_with("/api/");
}

Reply ReadApi::Handle(std::string_view method, std::string_view target,
                      std::optional<std::string_view> authorization) noexcept {
  try {
    const auto mark = target.find('?');
    const std::string_view path = target.substr(0, mark);
    const std::string_view query =
        mark == std::string_view::npos ? std::string_view{} : target.substr(mark + 1);
    if (method != "GET") return TextReply(HttpOutcome::kMethodNotAllowed);
    if (path == "/healthz") {
      return TextReply(m_store.Healthy() ? HttpOutcome::kHealthy : HttpOutcome::kUnhealthy);
    }
    if (!m_tokens.Admits(authorization)) return TextReply(HttpOutcome::kUnauthorized);
    return Route(path, query);
  } catch (...) {
    return TextReply(HttpOutcome::kServerFault);
  }
}

Reply ReadApi::Route(std::string_view path, std::string_view query) {
  const auto parameters = ParseQuery(query);
  if (!parameters) return TextReply(HttpOutcome::kBadQuery);
  const auto only = [&](std::initializer_list<std::string_view> allowed) {
    for (const auto& [name, value] : *parameters) {
      if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) return false;
    }
    return true;
  };
  constexpr std::string_view kItems = "/api/items";
  constexpr std::string_view kUploads = "/api/uploads/";
  if (path == kItems) {
    const auto items = ItemQueryFrom(*parameters);
    if (!items) return TextReply(HttpOutcome::kBadQuery);
    return FromStore(m_store.ListItems(*items), ItemsJson);
  }
  if (path.starts_with(kItems) && path[kItems.size()] == '/') {
    const auto id = ParseNumber<std::int64_t>(path.substr(kItems.size() + 1), 1, INT64_MAX);
    if (!id) return TextReply(HttpOutcome::kNotFound);
    if (!only({})) return TextReply(HttpOutcome::kBadQuery);
    return FromStore(m_store.GetItem(*id), [](const std::optional<ItemDetail>& item) {
      return item ? ItemJson(*item) : TextReply(HttpOutcome::kNotFound);
    });
  }
  if (path == "/api/losses") {
    if (!only({"product"})) return TextReply(HttpOutcome::kBadQuery);
    std::optional<std::string> product;
    if (const auto found = parameters->find("product");
        found != parameters->end() && !found->second.empty()) {
      product = found->second;
    }
    return FromStore(m_store.ListLosses(product), LossesJson);
  }
  if (path.starts_with(kUploads) && path.size() > kUploads.size()) {
    if (!only({})) return TextReply(HttpOutcome::kBadQuery);
    const auto key = Decode(path.substr(kUploads.size()));
    if (!key) return TextReply(HttpOutcome::kNotFound);
    return FromStore(m_store.GetUpload(*key), [](const std::optional<UploadReceipt>& receipt) {
      return receipt ? UploadJson(*receipt) : TextReply(HttpOutcome::kNotFound);
    });
  }
  return TextReply(HttpOutcome::kNotFound);
}

}  // namespace intake
