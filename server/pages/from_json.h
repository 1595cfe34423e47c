// The pages' models filled from the JSON documents of the OGC API answers
// (the landing document, a collection list, an items FeatureCollection, a
// record Feature) and from the request's query string. Missing or mistyped
// members leave the model's defaults: a page is drawn from whatever the
// document holds, never refused for its shape.
#ifndef METASHELF_SERVER_PAGES_FROM_JSON_H_
#define METASHELF_SERVER_PAGES_FROM_JSON_H_

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "render.h"

namespace metashelf::pages {

// The parameters of a query string ("a=1&b=x+y"), percent-decoded, '+' as a
// blank; the first of repeated names wins.
std::map<std::string, std::string> ParseQueryString(std::string_view query);

// A path segment percent-decoded ("rivers%20east" -> "rivers east").
std::string PercentDecode(std::string_view text, bool plusIsBlank);

// The collections of a /collections document (or of a landing document
// that carries them under "collections").
std::vector<CollectionInfo> CollectionsFromJson(const nlohmann::json& doc);

// A record Feature as a result line.
RecordSummary SummaryFromFeature(const nlohmann::json& feature);

// The search form and paging of an items request, from its parameters.
void FormFromQuery(const std::map<std::string, std::string>& params, CollectionPage* page);

// An items FeatureCollection: its records, numberMatched.
void ResultsFromJson(const nlohmann::json& doc, CollectionPage* page);

}  // namespace metashelf::pages

#endif  // METASHELF_SERVER_PAGES_FROM_JSON_H_
