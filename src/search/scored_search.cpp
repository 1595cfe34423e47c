// The scored search of a collection (MsSearch and its companions): the
// request's ids come from one statement written over the search indexes,
// the scores from the free-text conditions it names, and the indexes are
// built first when a collection lacks them.
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/search.h"
#include "search/deferred_indexes.h"
#include "search/id_query.h"
#include "search/query_builder.h"
#include "search/request_checks.h"
#include "search/search_index.h"

namespace {

using metashelf::search::SearchIndex;

struct Opened {
  COraMetaDataSet* set = nullptr;
  MdsContext* ctx = nullptr;
};

bool Open(CMetaDataSet_abs* set, Opened* out) {
  COraMetaDataSet* ora = DataSetAccess::Opened(set);
  if (ora == nullptr) return false;
  *out = Opened{ora, DataSetAccess::Context(*ora)};
  return true;
}

// The condition numbers an expression names.
std::set<std::int32_t> NamedConditions(const std::string& expression) {
  std::set<std::int32_t> out;
  std::size_t i = 0;
  while ((i = expression.find_first_of("0123456789", i)) != std::string::npos) {
    std::size_t end = i;
    while (end < expression.size() && expression[end] >= '0' && expression[end] <= '9') ++end;
    std::int32_t number = 0;
    if (metashelf::search::ParseConditionNumber(expression.data() + i, end - i, &number)) {
      out.insert(number);
    }
    i = end;
  }
  return out;
}

// The one free-text condition that `expression` consists of (its number,
// blanks and parentheses alone), or null.
const SearchNode* OnlyTextCondition(const std::string& expression,
                                    const std::vector<SearchNode>& conditions) {
  std::string bare;
  for (char c : expression) {
    if (c != ' ' && c != '\t' && c != '(' && c != ')') bare += c;
  }
  const std::set<std::int32_t> named = NamedConditions(expression);
  if (named.size() != 1 || bare.find_first_not_of("0123456789") != std::string::npos) {
    return nullptr;
  }
  for (const SearchNode& node : conditions) {
    if (node.condID == *named.begin()) return node.op == "text" ? &node : nullptr;
  }
  return nullptr;
}

// The search indexes of the set, as they are (null when its backend keeps none).
std::unique_ptr<SearchIndex> IndexOf(const Opened& opened) {
  MdsContext* ctx = opened.ctx;
  return metashelf::search::SearchIndexOf(ctx->mdb, ctx->hdbc, ctx->owner, ctx->mdsID);
}

// The indexes of the set, built when they are not complete.
std::unique_ptr<SearchIndex> ReadyIndex(const Opened& opened) {
  std::unique_ptr<SearchIndex> index = IndexOf(opened);
  if (!index) return nullptr;
  if (!index->Ready() && !metashelf::search::BuildSearchIndexes(opened.set, opened.ctx, nullptr)) {
    return nullptr;
  }
  return index;
}

std::int32_t Search(CMetaDataSet_abs* set, const std::string& expression,
                    const std::vector<SearchNode>& conditions, const MsSearchOptions& options,
                    std::vector<MsSearchHit>* hits, std::int32_t* total) {
  Opened opened;
  if (hits == nullptr || !Open(set, &opened)) return 0;
  std::unique_ptr<SearchIndex> index = ReadyIndex(opened);
  if (!index) return 0;
  // The statement is written even when it is not run, so that a request is
  // refused alike either way.
  CQueryBuilder builder(opened.set);
  builder.SetSearchIndex(index.get());
  std::string sql;
  if (builder.BuildSql(expression, conditions, sql) != 1) return 0;
  std::set<std::int64_t> unique;
  std::map<std::int64_t, double> scores;
  if (const SearchNode* text = OnlyTextCondition(expression, conditions)) {
    // The ranking statement matches the words anyway: the records and
    // their scores come from it alone, the words matched once instead of
    // twice.
    std::vector<metashelf::search::TextTerm> terms;
    if (!metashelf::search::ParseTextQuery(text->value1, &terms) ||
        !index->MatchScores(terms, &scores)) {
      return 0;
    }
    for (const auto& [id, score] : scores) unique.insert(id);
  } else {
    CSmartArray<std::int64_t> found;
    if (metashelf::search::RunIdQuery(opened.ctx->hdbc, sql.c_str(), found) != 1) return 0;
    for (std::int32_t i = 0; i < found.GetSize(); ++i) unique.insert(found[i]);
    const std::set<std::int32_t> named = NamedConditions(expression);
    for (const SearchNode& node : conditions) {
      if (node.op != "text" || named.count(node.condID) == 0) continue;
      std::vector<metashelf::search::TextTerm> terms;
      if (!metashelf::search::ParseTextQuery(node.value1, &terms)) return 0;
      if (!index->AddScores(terms, unique, &scores)) return 0;
    }
  }

  std::vector<MsSearchHit> out;
  out.reserve(unique.size());
  for (std::int64_t id : unique) {
    const auto score = scores.find(id);
    out.push_back(MsSearchHit{id, score == scores.end() ? 0.0 : score->second});
  }
  if (options.orderByScore) {
    std::stable_sort(out.begin(), out.end(),
                     [](const MsSearchHit& a, const MsSearchHit& b) { return a.score > b.score; });
  }
  const std::size_t offset =
      std::min(out.size(), static_cast<std::size_t>(std::max<std::int32_t>(options.offset, 0)));
  std::size_t end = out.size();
  if (options.limit > 0) end = std::min(end, offset + static_cast<std::size_t>(options.limit));
  if (total != nullptr) *total = static_cast<std::int32_t>(out.size());
  hits->assign(out.begin() + static_cast<std::ptrdiff_t>(offset),
               out.begin() + static_cast<std::ptrdiff_t>(end));
  return 1;
}

}  // namespace

std::int32_t MsSearch(CMetaDataSet_abs* set, const std::string& expression,
                      const std::vector<SearchNode>& conditions, const MsSearchOptions& options,
                      std::vector<MsSearchHit>* hits, std::int32_t* total) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return Search(set, expression, conditions, options, hits, total);
  });
}

std::int32_t MsSearchSql(CMetaDataSet_abs* set, const std::string& expression,
                         const std::vector<SearchNode>& conditions, std::string* sql) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (sql == nullptr || !Open(set, &opened)) return 0;
    std::unique_ptr<SearchIndex> index = IndexOf(opened);
    CQueryBuilder builder(opened.set);
    builder.SetSearchIndex(index.get());
    return builder.BuildSql(expression, conditions, *sql);
  });
}

std::int32_t MsReindex(CMetaDataSet_abs* set, std::int64_t* records) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (!Open(set, &opened)) return 0;
    return metashelf::search::BuildSearchIndexes(opened.set, opened.ctx, records) ? 1 : 0;
  });
}

std::int32_t MsDropSearchIndexes(CMetaDataSet_abs* set) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (!Open(set, &opened)) return 0;
    std::unique_ptr<SearchIndex> index = IndexOf(opened);
    return !index || index->Drop() ? 1 : 0;
  });
}

std::int32_t MsSearchIndexesReady(CMetaDataSet_abs* set) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (!Open(set, &opened)) return 0;
    std::unique_ptr<SearchIndex> index = IndexOf(opened);
    return index && index->Ready() ? 1 : 0;
  });
}

std::int32_t MsDeferSearchIndexes(CMetaDataSet_abs* set, std::int32_t* deferred) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (deferred == nullptr || !Open(set, &opened)) return 0;
    bool entered = false;
    const bool ok = metashelf::search::DeferSearchIndexes(opened.ctx, &entered);
    *deferred = entered ? 1 : 0;
    return ok ? 1 : 0;
  });
}

namespace {

std::int32_t EndDeferred(CMetaDataSet_abs* set, std::int32_t* ready,
                         const std::function<bool()>& mayShare) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    Opened opened;
    if (!Open(set, &opened)) return 0;
    bool made = false;
    const bool ok = metashelf::search::EndDeferredIndexes(opened.set, opened.ctx, &made, mayShare);
    if (ready != nullptr) *ready = made ? 1 : 0;
    return ok ? 1 : 0;
  });
}

}  // namespace

std::int32_t MsEndDeferredSearchIndexes(CMetaDataSet_abs* set, std::int32_t* ready) {
  return EndDeferred(set, ready, nullptr);
}

std::int32_t MsEndDeferredSearchIndexesBeside(CMetaDataSet_abs* set, std::int32_t* ready,
                                              std::int32_t (*mayShare)(void* context),
                                              void* context) {
  if (mayShare == nullptr) return EndDeferred(set, ready, nullptr);
  return EndDeferred(set, ready, [mayShare, context] { return mayShare(context) != 0; });
}
