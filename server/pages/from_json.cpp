// Reading the OGC API documents into the pages' models.
#include "from_json.h"

#include <cstdlib>

namespace metashelf::pages {
namespace {

using Json = nlohmann::json;

std::string Text(const Json& object, const char* name) {
  if (!object.is_object()) return "";
  const auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A count parameter; `fallback` when absent or not a plain whole number.
std::int64_t CountParam(const std::map<std::string, std::string>& params, const char* name,
                        std::int64_t fallback) {
  const auto it = params.find(name);
  if (it == params.end() || it->second.empty() || it->second.size() > 12) return fallback;
  for (char c : it->second) {
    if (c < '0' || c > '9') return fallback;
  }
  return std::strtoll(it->second.c_str(), nullptr, 10);
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += plusIsBlank && c == '+' ? ' ' : c;
  }
  return out;
}

std::map<std::string, std::string> ParseQueryString(std::string_view query) {
  std::map<std::string, std::string> params;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t eq = pair.find('=');
      const std::string name = PercentDecode(pair.substr(0, eq), true);
      const std::string value =
          eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1), true);
      params.emplace(name, value);
    }
    start = end + 1;
  }
  return params;
}

std::vector<CollectionInfo> CollectionsFromJson(const Json& doc) {
  std::vector<CollectionInfo> out;
  if (!doc.is_object()) return out;
  const auto list = doc.find("collections");
  if (list == doc.end() || !list->is_array()) return out;
  for (const Json& c : *list) {
    CollectionInfo info;
    info.id = Text(c, "id");
    if (info.id.empty()) continue;
    info.title = Text(c, "title");
    info.description = Text(c, "description");
    const auto n = c.find("numberOfRecords");
    if (n != c.end() && n->is_number_integer()) info.records = n->get<std::int64_t>();
    out.push_back(std::move(info));
  }
  return out;
}

RecordSummary SummaryFromFeature(const Json& feature) {
  RecordSummary r;
  if (!feature.is_object()) return r;
  if (const auto id = feature.find("id"); id != feature.end()) {
    r.id = id->is_string() ? id->get<std::string>() : id->is_number() ? id->dump() : "";
  }
  const auto props = feature.find("properties");
  if (props != feature.end() && props->is_object()) {
    r.title = Text(*props, "title");
    r.abstract = Text(*props, "description");
    if (const auto k = props->find("keywords"); k != props->end() && k->is_array()) {
      for (const Json& word : *k) {
        if (word.is_string()) r.keywords.push_back(word.get<std::string>());
      }
    }
    if (const std::string created = Text(*props, "created"); !created.empty()) {
      r.dates.emplace_back("Published", created);
    }
    if (const std::string updated = Text(*props, "updated"); !updated.empty()) {
      r.dates.emplace_back("Updated", updated);
    }
  }
  const auto bbox = feature.find("bbox");
  if (bbox != feature.end() && bbox->is_array() && bbox->size() == 4) {
    bool numbers = true;
    for (const Json& v : *bbox) numbers = numbers && v.is_number();
    if (numbers) {
      r.boxes.push_back(Box{(*bbox)[0].get<double>(), (*bbox)[1].get<double>(),
                            (*bbox)[2].get<double>(), (*bbox)[3].get<double>()});
    }
  }
  return r;
}

void FormFromQuery(const std::map<std::string, std::string>& params, CollectionPage* page) {
  const auto value = [&](const char* name) {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
  };
  page->form.q = value("q");
  page->form.where = value("where");
  page->form.bbox = value("bbox");
  page->offset = CountParam(params, "offset", 0);
  page->limit = CountParam(params, "limit", page->limit);
  if (page->limit < 1) page->limit = 20;
}

void ResultsFromJson(const Json& doc, CollectionPage* page) {
  if (!doc.is_object()) return;
  if (const auto features = doc.find("features"); features != doc.end() && features->is_array()) {
    for (const Json& f : *features) page->records.push_back(SummaryFromFeature(f));
  }
  // The self link says which page the server answered (its limit when the
  // request named none).
  if (const auto links = doc.find("links"); links != doc.end() && links->is_array()) {
    for (const Json& link : *links) {
      if (Text(link, "rel") != "self") continue;
      const std::string href = Text(link, "href");
      const std::size_t q = href.find('?');
      if (q == std::string::npos) break;
      const auto params = ParseQueryString(std::string_view(href).substr(q + 1));
      page->offset = CountParam(params, "offset", page->offset);
      page->limit = CountParam(params, "limit", page->limit);
      if (page->limit < 1) page->limit = 20;
      break;
    }
  }
  if (const auto n = doc.find("numberMatched"); n != doc.end() && n->is_number_integer()) {
    page->matched = n->get<std::int64_t>();
  } else {
    page->matched = page->offset + static_cast<std::int64_t>(page->records.size());
  }
}

}  // namespace metashelf::pages
