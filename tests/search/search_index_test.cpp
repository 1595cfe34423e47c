// Searches answered from the search indexes, on every backend, against an
// evaluation that uses no index: substring (`like`) answers equal those of
// the stored values, box answers those of the bound values read from the
// XML, free-text answers those of the record's words as SQLite's tokenizer
// takes them (so both engines answer alike). Hostile texts are refused or
// answered like any other. Writes keep the indexes in step.
#include "search/search_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "internal/backend.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "metashelf/search.h"
#include "metashelf/words/word_tokenizer.h"
#include "search/corpus_collection.h"
#include "search/corpus_oracle.h"
#include "search/tsvector_text.h"

using metashelf::base::QuoteDoubled;
using search_test::CorpusCollection;
using search_test::Kind;

namespace {

const char* const kTitle = "/metadata/idinfo/citation/citeinfo/title";
const char* const kAbstract = "/metadata/idinfo/descript/abstract";
const char* const kBounding = "/metadata/idinfo/spdom/bounding/";

std::set<std::int64_t> Ids(const std::vector<MsSearchHit>& hits) {
  std::set<std::int64_t> out;
  for (const MsSearchHit& h : hits) out.insert(h.metaID);
  return out;
}

SearchNode Node(const char* op, const std::string& value, const char* path = "") {
  SearchNode n;
  n.condID = 1;
  n.op = op;
  n.value1 = value;
  n.nodePath = path;
  return n;
}

// The words of `text` as both engines index them.
std::vector<std::string> WordsOf(const std::string& text) {
  static const std::unique_ptr<metashelf::words::WordTokenizer> tokenizer =
      metashelf::words::WordTokenizer::Open();
  std::vector<std::string> words;
  EXPECT_TRUE(tokenizer != nullptr &&
              tokenizer->Tokenize(text, [&words](std::string_view w) { words.emplace_back(w); }));
  return words;
}

// The words of a record's text content and attribute values, in order.
std::vector<std::string> Words(const std::string& xml) {
  pugi::xml_document doc;
  const bool latin1 = xml.find("ISO-8859-1") != std::string::npos;
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default,
                  latin1 ? pugi::encoding_latin1 : pugi::encoding_auto);
  std::string text;
  for (pugi::xpath_node n : doc.select_nodes("//text() | //@*")) {
    const std::string name = n.attribute() ? n.attribute().name() : "";
    if (name.rfind("xmlns", 0) == 0 || name.find("schemaLocation") != std::string::npos) continue;
    text += ' ';
    text += n.attribute() ? n.attribute().value() : n.node().value();
  }
  return WordsOf(text);
}

// Whether `words` hold the phrase `phrase` (the last word a prefix when
// `prefix`).
bool HasPhrase(const std::vector<std::string>& words, const std::vector<std::string>& phrase,
               bool prefix) {
  for (std::size_t i = 0; i + phrase.size() <= words.size(); ++i) {
    bool all = true;
    for (std::size_t k = 0; k < phrase.size() && all; ++k) {
      const bool last = k + 1 == phrase.size();
      all = prefix && last ? words[i + k].rfind(phrase[k], 0) == 0 : words[i + k] == phrase[k];
    }
    if (all) return true;
  }
  return false;
}

// Whether `words` hold every term of the free-text `query`: each a phrase
// of the words its own words make, none in any text when it makes none.
bool Holds(const std::vector<std::string>& words, const std::string& query) {
  std::vector<metashelf::search::TextTerm> terms;
  EXPECT_TRUE(metashelf::search::ParseTextQuery(query, &terms)) << query;
  for (const metashelf::search::TextTerm& term : terms) {
    std::vector<std::string> phrase;
    for (const std::string& word : term.words) {
      for (std::string& w : WordsOf(word)) phrase.push_back(std::move(w));
    }
    if (phrase.empty() || !HasPhrase(words, phrase, term.prefix)) return false;
  }
  return true;
}

struct BoxOf {
  double w, s, e, n;
};

// Whether the record's k-th box meets (or lies within) the query box, with
// both split at the antimeridian.
bool BoxMatches(const std::string& xml, const BoxOf& q, bool within) {
  double v[4];
  const char* names[] = {"westbc", "southbc", "eastbc", "northbc"};
  for (int k = 0; k < 4; ++k) {
    const auto values =
        search_test::StoredValues(xml, std::string(kBounding) + names[k], Kind::kNumber);
    if (values.empty() || !search_test::ReadNumber(values[0], &v[k])) return false;
  }
  if (v[0] < -180 || v[0] > 180 || v[2] < -180 || v[2] > 180 || v[1] < -90 || v[3] > 90 ||
      v[1] > v[3]) {
    return false;
  }
  auto parts = [](double w, double s, double e, double n) {
    return w <= e ? std::vector<BoxOf>{{w, s, e, n}}
                  : std::vector<BoxOf>{{w, s, 180, n}, {-180, s, e, n}};
  };
  const auto rec = parts(v[0], v[1], v[2], v[3]);
  const auto qs = parts(q.w, q.s, q.e, q.n);
  if (within) {
    return std::all_of(rec.begin(), rec.end(), [&](const BoxOf& r) {
      return std::any_of(qs.begin(), qs.end(), [&](const BoxOf& p) {
        return r.w >= p.w && r.e <= p.e && r.s >= p.s && r.n <= p.n;
      });
    });
  }
  for (const BoxOf& r : rec) {
    for (const BoxOf& p : qs) {
      if (r.w <= p.e && r.e >= p.w && r.s <= p.n && r.n >= p.s) return true;
    }
  }
  return false;
}

class IndexedSearchTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { USE_CORPUS_COLLECTION(c, GetParam()); }

  std::set<std::int64_t> Run(const SearchNode& node, std::int32_t* rc,
                             CMetaDataSet_abs* set = nullptr) {
    std::vector<MsSearchHit> hits;
    std::int32_t total = -1;
    *rc = MsSearch(set == nullptr ? &c->set : set, "1", {node}, MsSearchOptions(), &hits, &total);
    if (*rc == 1) {
      EXPECT_EQ(total, static_cast<std::int32_t>(hits.size()));
    }
    return Ids(hits);
  }

  // The substring, box and free-text answers of `set`, whose records are
  // `texts`, each against the evaluation that uses no index.
  void ExpectSubstringAnswers(CMetaDataSet_abs* set,
                              const std::map<std::int64_t, std::string>& texts);
  void ExpectBoxAnswers(CMetaDataSet_abs* set, const std::map<std::int64_t, std::string>& texts);
  void ExpectFreeTextAnswers(CMetaDataSet_abs* set,
                             const std::map<std::int64_t, std::string>& texts);

  // A collection of its own on the corpus's schema, opened in `set`; its
  // id, or 0 when it could not be made.
  std::int32_t OpenScratch(const char* name, COraMetaDataSet* set, CSchema** schema) {
    X_CLS_MDS info{};
    if (c->catalog.mds_GetInfo(c->colID, &info) != 1) return 0;
    const std::int32_t colID = set->Create(&c->catalog, info.schemaID, name, "");
    if (colID <= 0 || set->Open(&c->catalog, colID) != 1) return 0;
    set->GetCSchemaPtr(schema);
    return colID;
  }

  CorpusCollection* c = nullptr;
};

void IndexedSearchTest::ExpectSubstringAnswers(CMetaDataSet_abs* set,
                                               const std::map<std::int64_t, std::string>& texts) {
  // More trigrams than are weighed, in a few titles.
  const std::string many = "USGS Imagery Topo Base Map Service from The National";
  const struct {
    const char* path;
    std::string value;
  } cases[] = {
      {kTitle, "Water"},  {kTitle, "water"},    {kTitle, "ter Bo"},
      {kTitle, "Census"}, {kTitle, "Ma"},  // under three characters: no index
      {kTitle, "2010"},   {kAbstract, "the "},  {kTitle, "100%"},
      {kTitle, "a_b"},    {kTitle, "\"NEAR\""}, {kTitle, "*"},
      {kTitle, "'s "},    {kTitle, "Région"},   {kAbstract, std::string(100000, 'x')},
      {kTitle, many},
  };
  for (const auto& k : cases) {
    const SearchNode node = Node("like", k.value, k.path);
    std::int32_t rc = 0;
    const auto got = Run(node, &rc, set);
    ASSERT_EQ(rc, 1) << k.value;
    const auto bag = search_test::Matching(texts, node, Kind::kText);
    EXPECT_EQ(got, std::set<std::int64_t>(bag.begin(), bag.end())) << k.path << " like " << k.value;
  }
}

void IndexedSearchTest::ExpectBoxAnswers(CMetaDataSet_abs* set,
                                         const std::map<std::int64_t, std::string>& texts) {
  const struct {
    const char* box;
    BoxOf q;
  } cases[] = {
      {"-125,24,-66,50", {-125, 24, -66, 50}},
      {"-180,-90,180,90", {-180, -90, 180, 90}},
      {"170,-90,-170,90", {170, -90, -170, 90}},
      {"-100,30,-100,30", {-100, 30, -100, 30}},
      {"0,0,10,10", {0, 0, 10, 10}},
      {"100,-50,-100,60", {100, -50, -100, 60}},
  };
  for (const auto& k : cases) {
    for (bool within : {false, true}) {
      std::int32_t rc = 0;
      const auto got = Run(Node(within ? "within" : "intersects", k.box), &rc, set);
      ASSERT_EQ(rc, 1) << k.box;
      std::set<std::int64_t> expected;
      for (const auto& [id, xml] : texts) {
        if (BoxMatches(xml, k.q, within)) expected.insert(id);
      }
      EXPECT_EQ(got, expected) << (within ? "within " : "intersects ") << k.box;
    }
  }
}

void IndexedSearchTest::ExpectFreeTextAnswers(CMetaDataSet_abs* set,
                                              const std::map<std::int64_t, std::string>& texts) {
  for (const char* query :
       {"water", "Water QUALITY", "\"water bodies\"", "hydro*", "census AND NEAR(\"x\")",
        "roads -transportation", "zzzzqq", "GEWASSER", "\"f\xC3\xBCr die\"", "M\xC3\xBCnst*",
        "\"data set\"*", "water \xE2\x80\x94"}) {
    std::int32_t rc = 0;
    const auto got = Run(Node("text", query), &rc, set);
    ASSERT_EQ(rc, 1) << query;
    std::set<std::int64_t> expected;
    for (const auto& [id, xml] : texts) {
      if (Holds(Words(xml), query)) expected.insert(id);
    }
    EXPECT_EQ(got, expected) << query;
  }
}

TEST_P(IndexedSearchTest, SubstringAnswersEqualThoseOfTheStoredValues) {
  ExpectSubstringAnswers(&c->set, c->texts);
}

TEST_P(IndexedSearchTest, BoxAnswersEqualThoseOfTheBoundValues) {
  ExpectBoxAnswers(&c->set, c->texts);
}

TEST_P(IndexedSearchTest, FreeTextAnswersEqualThoseOfTheRecordWords) {
  ExpectFreeTextAnswers(&c->set, c->texts);
}

// On PostgreSQL a phrase is looked up by the pairs of adjacent words kept
// beside each record's words: its records and scores are those of the
// words alone (the tsquery over every record's tsvector), for phrases taken
// from the records (across hyphens, dots and markup too) and written to
// test the pairs (repeated, long, prefixed, beside single words,
// diacritics, characters the server reads as separators).
TEST_P(IndexedSearchTest, PhrasesAnswerAsTheWordsAloneDo) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "phrases are looked up by pairs on PostgreSQL";
  std::vector<std::string> queries = {"\"of the\"",
                                      "\"the the\"",
                                      "\"data set\"",
                                      "\"water quality\"",
                                      "\"http www\"",
                                      "\"usgs gov\"",
                                      "\"1 0\"",
                                      "\"water qual\"*",
                                      "\"geological survey\" water",
                                      "\"survey\" \"of the\"",
                                      "\"e mail\"",
                                      "\"stream\xE2\x80\x94"
                                      "flow\"",
                                      "\"Z\xC3\xBCrich\"",
                                      "\"north american datum of 1983\"",
                                      "\"NEAR(x\" \"a*b\"",
                                      "\"not applicable\""};
  int picked = 0;
  for (const auto& [id, xml] : c->texts) {
    const std::vector<std::string> words = Words(xml);
    if (picked++ % 7 != 0 || words.size() < 60) continue;
    for (std::size_t at : {words.size() / 3, words.size() / 2, words.size() * 2 / 3}) {
      queries.push_back("\"" + words[at] + " " + words[at + 1] + "\"");
      queries.push_back("\"" + words[at] + " " + words[at + 1] + " " + words[at + 2] + "\"");
    }
    std::string longer;
    for (std::size_t k = 10; k < 50; ++k) longer += words[k] + " ";
    queries.push_back("\"" + longer + "\"");
  }
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[64] = {};
  c->catalog.GetOraBaseInfo(hdbc, owner);
  const std::string table = std::string(owner) + ".MS_FTS_" + std::to_string(c->colID);
  auto compare = [&](const std::string& query) {
    // The search first: it builds the indexes when they are not there.
    std::vector<MsSearchHit> hits;
    ASSERT_EQ(MsSearch(&c->set, "1", {Node("text", query)}, MsSearchOptions(), &hits, nullptr), 1)
        << query;
    std::vector<metashelf::search::TextTerm> terms;
    ASSERT_TRUE(metashelf::search::ParseTextQuery(query, &terms)) << query;
    std::vector<metashelf::search::LexemeTerm> lexemes;
    for (const metashelf::search::TextTerm& term : terms) {
      lexemes.push_back({{}, term.prefix});
      for (const std::string& word : term.words) {
        for (const std::string& w : WordsOf(word)) lexemes.back().lexemes.push_back(w);
      }
    }
    const std::string tsquery =
        "cast('" + QuoteDoubled(metashelf::search::TsQueryText(lexemes)) + "' as tsquery)";
    std::map<std::int64_t, double> alone;
    ASSERT_TRUE(metashelf::search::AddRowScores(hdbc,
                                                "select METAID,cast(ts_rank(TSV," + tsquery +
                                                    ") as double precision) from " + table +
                                                    " where TSV @@ " + tsquery,
                                                &alone))
        << query;
    std::map<std::int64_t, double> got;
    for (const MsSearchHit& h : hits) got[h.metaID] = h.score;
    EXPECT_EQ(got, alone) << query;
    // The same under "and" with another condition: the phrase is then a
    // sub-select of the search statement.
    SearchNode box = Node("intersects", "-180,-90,180,90");
    box.condID = 2;
    ASSERT_EQ(
        MsSearch(&c->set, "1 or 2", {Node("text", query), box}, MsSearchOptions(), &hits, nullptr),
        1)
        << query;
    for (const MsSearchHit& h : hits) {
      const auto found = alone.find(h.metaID);
      EXPECT_DOUBLE_EQ(h.score, found == alone.end() ? 0.0 : found->second) << query;
    }
  };
  for (const std::string& query : queries) compare(query);
  // Tables of an earlier layout (before the pairs were kept; the pairs as
  // text, of words the server's parser took) are not ready, left alone by
  // writes, built anew by the next search.
  for (const char* earlier :
       {" DROP COLUMN PAIRS", " ALTER COLUMN PAIRS TYPE TEXT[] USING cast(PAIRS as text[])"}) {
    gis_SQLHSTMT stmt = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(hdbc, &stmt), 0);
    const std::string alter = "ALTER TABLE " + table + earlier;
    EXPECT_EQ(gis_SQLExecDirect(stmt, alter.c_str(), GIS_SQL_NTS), 0) << earlier;
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    EXPECT_EQ(MsSearchIndexesReady(&c->set), 0) << earlier;
    const auto first = c->texts.begin();
    CSchema* schema = nullptr;
    c->set.GetCSchemaPtr(&schema);
    CBaseMetaData again(schema);
    ASSERT_EQ(again.LoadXml(first->second.data(), first->second.size()), 1);
    EXPECT_EQ(c->set.UpdateMetaData(first->first, &again), 1) << earlier;
    compare("\"of the\"");
    EXPECT_EQ(MsSearchIndexesReady(&c->set), 1) << earlier;
  }
}

// Hostile texts in records and queries: quotes, backslashes, operators,
// diacritics and other scripts, a word of 100 KB, 20,000 words, more
// words than a tsvector holds, no word at all. Written record by record,
// then built anew, each engine finds what the words say. (PostgreSQL's
// tsvector places every word from the 16,383rd on at that position and
// keeps the first megabyte of words: no query here asks past either.)
TEST_P(IndexedSearchTest, FreeTextOverHostileTextsAnswersAsItsWords) {
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  const std::int32_t colID = OpenScratch("worded", &set, &schema);
  ASSERT_GT(colID, 0);
  // Built while empty, so that the writes below keep the indexes.
  ASSERT_EQ(MsReindex(&set, nullptr), 1);
  std::string accented, many, huge;
  for (int i = 0; i < 300; ++i) accented += "\xC3\xA9";
  for (int i = 0; i < 20000; ++i) many += "w" + std::to_string(i) + " ";
  for (int i = 0; i < 130000; ++i) huge += "q" + std::to_string(1000000 + i) + " ";
  const std::string word(100000, 'k');
  const std::vector<std::string> titles = {
      "it's a 'quoted' \\ back\\\\slash \"double\" {a,b} NULL it''s",
      "Z\xC3\xBCrich \xC3\x89tang stream-flow e-mail x.y@z.org http://a.b/c?d=1 NEAR(x* y) AND "
      "\xE6\x9D\xB1\xE4\xBA\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
      accented + " z " + accented,
      many,
      huge,
      "a " + word + " b",
      "... --- ... \xE2\x80\x94",
      "",
  };
  std::map<std::int64_t, std::vector<std::string>> words;
  for (const std::string& title : titles) {
    const std::string xml =
        "<metadata><idinfo><citation><citeinfo>" +
        (title.empty() ? std::string() : "<title>" + title + "</title>") +
        "</citeinfo></citation><spdom><bounding><westbc>1</westbc></bounding></spdom></idinfo>"
        "</metadata>";
    CBaseMetaData record(schema);
    ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << title.substr(0, 40);
    const std::int64_t id = set.AddMetaData(&record);
    ASSERT_GT(id, 0) << title.substr(0, 40);
    words[id] = WordsOf(title);
  }
  const std::vector<std::string> queries = {
      "'quoted'",
      "\"back slash\"",
      "it*",
      "\"s a\"",
      "NULL",
      "{a,b}",
      "ZURICH",
      "Z\xC3\xBCrich \xC3\xA9tang",
      "\"stream flow e mail\"",
      "\"x y z org\"*",
      "NEAR(x*",
      "\"near x y and\"",
      "\xE6\x9D\xB1\xE4\xBA\xAC",
      "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA*",
      "\"" + accented + " Z\"",
      "\xC3\xA9\xC3\xA9*",
      "w17",
      "\"w100 w101 w102\"",
      "w1999*",
      "w19999",
      "\"q1000000 q1000001\"",
      "q1000777",
      word,
      "\"a " + word + " b\"",
      "kkk*",
      "\xE2\x80\x94 w17",
      "a \xE2\x80\x94",
      "zzzzqq",
  };
  for (const char* when : {"written", "built"}) {
    if (std::string(when) == "built") {
      ASSERT_EQ(MsReindex(&set, nullptr), 1);
    }
    for (const std::string& query : queries) {
      std::vector<MsSearchHit> hits;
      ASSERT_EQ(MsSearch(&set, "1", {Node("text", query)}, MsSearchOptions(), &hits, nullptr), 1)
          << when << " " << query.substr(0, 40);
      std::set<std::int64_t> expected;
      for (const auto& [id, w] : words) {
        if (Holds(w, query)) expected.insert(id);
      }
      EXPECT_EQ(Ids(hits), expected) << when << " " << query.substr(0, 40);
    }
  }
  set.Close();
  EXPECT_EQ(set.Remove(&c->catalog, colID), 1);
}

TEST_P(IndexedSearchTest, RefusesMalformedConditionsAndOrdersByScore) {
  for (const SearchNode& bad :
       {Node("text", ""), Node("text", "\"*\" ( ) -"), Node("intersects", "1,2,3"),
        Node("within", "-200,0,0,10"), Node("intersects", "0,10,10,0"),
        Node("intersects", "0,0,1e999,1"), Node("text", std::string("a\0b", 3)),
        Node("text", "water \xC3\x28"), Node("text", "\xED\xA0\x80")}) {
    std::int32_t rc = -1;
    Run(bad, &rc);
    EXPECT_EQ(rc, 0) << bad.op << " " << bad.value1;
  }
  std::vector<MsSearchHit> hits;
  MsSearchOptions options;
  options.orderByScore = true;
  options.limit = 3;
  std::int32_t total = 0;
  ASSERT_EQ(MsSearch(&c->set, "1 and 2",
                     {Node("text", "water"),
                      [] {
                        SearchNode n = Node("intersects", "-180,-90,180,90");
                        n.condID = 2;
                        return n;
                      }()},
                     options, &hits, &total),
            1);
  ASSERT_LE(hits.size(), 3u);
  EXPECT_GE(total, static_cast<std::int32_t>(hits.size()));
  for (std::size_t i = 0; i + 1 < hits.size(); ++i) {
    EXPECT_GT(hits[i].score, 0);
    EXPECT_GE(hits[i].score, hits[i + 1].score);
  }
  // A record's score is that of its words whatever else the search asks:
  // the same under "and", none for a record that only the box finds.
  std::map<std::int64_t, double> alone;
  ASSERT_EQ(MsSearch(&c->set, "1", {Node("text", "water")}, MsSearchOptions(), &hits, nullptr), 1);
  for (const MsSearchHit& h : hits) alone[h.metaID] = h.score;
  SearchNode box = Node("intersects", "-180,-90,180,90");
  box.condID = 2;
  for (const char* expression : {"1 and 2", "1 or 2"}) {
    ASSERT_EQ(MsSearch(&c->set, expression, {Node("text", "water"), box}, MsSearchOptions(), &hits,
                       nullptr),
              1);
    ASSERT_FALSE(hits.empty()) << expression;
    for (const MsSearchHit& h : hits) {
      const auto found = alone.find(h.metaID);
      EXPECT_DOUBLE_EQ(h.score, found == alone.end() ? 0.0 : found->second) << expression;
    }
  }
}

TEST_P(IndexedSearchTest, WritesKeepTheIndexesInStepAndRemovalDropsThem) {
  CHostDataBase* db = c->fresh->db.get();
  COraMetaDataSet set;
  X_CLS_MDS info{};
  ASSERT_EQ(c->catalog.mds_GetInfo(c->colID, &info), 1);
  const std::int32_t colID = set.Create(&c->catalog, info.schemaID, "maintained", "");
  ASSERT_GT(colID, 0);
  ASSERT_EQ(set.Open(&c->catalog, colID), 1);
  CSchema* schema = nullptr;
  set.GetCSchemaPtr(&schema);
  auto record = [&](const char* title, const char* west) {
    const std::string xml = std::string("<metadata><idinfo><citation><citeinfo><title>") + title +
                            "</title></citeinfo></citation><spdom><bounding><westbc>" + west +
                            "</westbc><eastbc>10</eastbc><northbc>10</northbc><southbc>0</southbc>"
                            "</bounding></spdom></idinfo></metadata>";
    auto r = std::make_unique<CBaseMetaData>(schema);
    EXPECT_EQ(r->LoadXml(xml.data(), xml.size()), 1);
    return r;
  };
  auto find = [&](const char* op, const std::string& value) {
    std::vector<MsSearchHit> hits;
    EXPECT_EQ(MsSearch(&set, "1", {Node(op, value)}, MsSearchOptions(), &hits, nullptr), 1);
    return Ids(hits);
  };
  const std::int64_t first = set.AddMetaData(record("Glacier survey", "0").get());
  ASSERT_GT(first, 0);
  EXPECT_EQ(find("text", "glacier"), std::set<std::int64_t>{first});  // built on first use
  EXPECT_EQ(MsSearchIndexesReady(&set), 1);
  ASSERT_EQ(db->Begin(), 1);
  const std::int64_t second = set.AddMetaData(record("Glacier melt", "5").get());
  ASSERT_EQ(set.UpdateMetaData(first, record("Lake survey", "-20").get()), 1);
  ASSERT_EQ(db->Commit(), 1);
  EXPECT_EQ(find("text", "glacier"), std::set<std::int64_t>{second});
  EXPECT_EQ(find("text", "survey"), std::set<std::int64_t>{first});
  EXPECT_EQ(find("within", "-25,-1,11,11"), (std::set<std::int64_t>{first, second}));
  EXPECT_EQ(find("intersects", "-15,0,-10,10"), std::set<std::int64_t>{first});
  // A rolled-back write leaves the indexes as they were.
  ASSERT_EQ(db->Begin(), 1);
  ASSERT_EQ(set.DelMetaData(second), 1);
  ASSERT_EQ(db->Rollback(), 1);
  EXPECT_EQ(find("text", "melt"), std::set<std::int64_t>{second});
  ASSERT_EQ(set.DelMetaData(second), 1);
  EXPECT_TRUE(find("text", "melt").empty());
  EXPECT_EQ(find("intersects", "6,0,7,10"), std::set<std::int64_t>{first});
  // A box across the antimeridian is kept in two parts; replacing it
  // leaves neither behind.
  ASSERT_EQ(set.UpdateMetaData(first, record("Lake survey", "170").get()), 1);
  EXPECT_EQ(find("intersects", "-179,0,-178,10"), std::set<std::int64_t>{first});
  EXPECT_EQ(find("within", "160,-1,11,11"), std::set<std::int64_t>{first});
  ASSERT_EQ(set.UpdateMetaData(first, record("Lake survey", "-20").get()), 1);
  EXPECT_TRUE(find("intersects", "175,0,176,10").empty());
  EXPECT_EQ(find("intersects", "-15,0,-10,10"), std::set<std::int64_t>{first});
  // Letters are found without their diacritics, in what the writes kept
  // and in what a build makes of the stored rows alike; substrings keep
  // theirs.
  const std::int64_t zurich =
      set.AddMetaData(record("Z\xC3\xBCrich \xC3\x89tang survey", "1").get());
  ASSERT_GT(zurich, 0);
  for (const bool rebuilt : {false, true}) {
    if (rebuilt) {
      ASSERT_EQ(MsReindex(&set, nullptr), 1);
    }
    for (const char* query :
         {"zurich", "Z\xC3\xBCrich", "ZURICH etang", "\"zurich etang\"", "zur*"}) {
      EXPECT_EQ(find("text", query), std::set<std::int64_t>{zurich}) << query << " " << rebuilt;
    }
    EXPECT_EQ(find("text", "survey"), (std::set<std::int64_t>{first, zurich})) << rebuilt;
    std::vector<MsSearchHit> hits;
    SearchNode like = Node("like", "Z\xC3\xBCrich", "/metadata/idinfo/citation/citeinfo/title");
    ASSERT_EQ(MsSearch(&set, "1", {like}, MsSearchOptions(), &hits, nullptr), 1);
    EXPECT_EQ(Ids(hits), std::set<std::int64_t>{zurich});
    like.value1 = "Zurich";
    ASSERT_EQ(MsSearch(&set, "1", {like}, MsSearchOptions(), &hits, nullptr), 1);
    EXPECT_TRUE(hits.empty());
  }
  ASSERT_EQ(set.DelMetaData(zurich), 1);
  // Tables of an earlier layout are not taken for ready indexes: the next
  // search builds them anew, and writes meanwhile leave them alone.
  {
    gis_SQLHDBC_STRU* hdbc = nullptr;
    char owner[64] = {};
    c->catalog.GetOraBaseInfo(hdbc, owner);
    gis_SQLHSTMT stmt = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(hdbc, &stmt), 0);
    const std::string drop =
        std::string("DROP TABLE ") + owner + ".MS_VAL_" + std::to_string(colID);
    EXPECT_EQ(gis_SQLExecDirect(stmt, drop.c_str(), GIS_SQL_NTS), 0);
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  }
  EXPECT_EQ(MsSearchIndexesReady(&set), 0);
  ASSERT_EQ(set.UpdateMetaData(first, record("Lake survey", "-20").get()), 1);
  EXPECT_EQ(find("text", "lake"), std::set<std::int64_t>{first});
  EXPECT_EQ(MsSearchIndexesReady(&set), 1);
  // An interrupted build (no completion mark) is redone before use.
  ASSERT_EQ(MsDropSearchIndexes(&set), 1);
  EXPECT_EQ(MsSearchIndexesReady(&set), 0);
  EXPECT_EQ(find("text", "lake"), std::set<std::int64_t>{first});
  std::int64_t records = 0;
  EXPECT_EQ(MsReindex(&set, &records), 1);
  EXPECT_EQ(records, 1);
  // Inside a batch, whether the writes keep the indexes follows their
  // dropping and building on the same connection from record to record.
  {
    gis_SQLHDBC_STRU* hdbc = nullptr;
    char owner[64] = {};
    c->catalog.GetOraBaseInfo(hdbc, owner);
    ASSERT_EQ(gis_SQLBeginBatch(hdbc), 0);
    std::set<std::int64_t> fjords;
    for (const char* step : {"kept", "dropped", "built"}) {
      const std::string now = step;
      if (now == "dropped") {
        ASSERT_EQ(MsDropSearchIndexes(&set), 1);
      } else if (now == "built") {
        ASSERT_EQ(MsReindex(&set, nullptr), 1);
      }
      const std::int64_t id = set.AddMetaData(record("Fjord", "1").get());
      ASSERT_GT(id, 0) << step;
      fjords.insert(id);
    }
    ASSERT_EQ(gis_SQLEndUnit(hdbc, 1), 0);
    EXPECT_EQ(MsSearchIndexesReady(&set), 1);
    EXPECT_EQ(find("text", "fjord"), fjords);
    for (const std::int64_t id : fjords) ASSERT_EQ(set.DelMetaData(id), 1);
  }
  set.Close();
  ASSERT_EQ(set.Remove(&c->catalog, colID), 1);
  COraMetaDataSet again;
  const std::int32_t reused = again.Create(&c->catalog, info.schemaID, "maintained", "");
  ASSERT_GT(reused, 0);
  ASSERT_EQ(again.Open(&c->catalog, reused), 1);
  EXPECT_EQ(MsSearchIndexesReady(&again), 0);
  again.Close();
  EXPECT_EQ(again.Remove(&c->catalog, reused), 1);
}

// The trigrams of a substring are weighed by what the last build counted,
// by counting them anew once many values came after it, and by what a
// build counted plus the values added since: each way answers as the
// plain test does.
TEST_P(IndexedSearchTest, SubstringAnswersHoldHoweverTheTrigramsAreWeighed) {
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  const std::int32_t colID = OpenScratch("weighed", &set, &schema);
  ASSERT_GT(colID, 0);
  const char* const key = "/metadata/idinfo/keywords/theme/themekey";
  auto add = [&](const std::vector<std::string>& keys) {
    std::string xml = "<metadata><idinfo><keywords><theme>";
    for (const std::string& k : keys) xml += "<themekey>" + k + "</themekey>";
    xml += "</theme></keywords></idinfo></metadata>";
    CBaseMetaData record(schema);
    EXPECT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
    return set.AddMetaData(&record);
  };
  std::vector<std::string> many = {"Lake Ontario"};
  for (int k = 0; k < 300; ++k) many.push_back("Kw" + std::to_string(100 + k) + " river");
  const std::int64_t first = add({"Alpine lake", "lake shore", "Glacier"});
  ASSERT_GT(first, 0);
  std::vector<MsSearchHit> hits;
  ASSERT_EQ(MsSearch(&set, "1", {Node("like", "lake", key)}, MsSearchOptions(), &hits, nullptr),
            1);  // built over the first record alone
  const std::int64_t second = add(many);
  ASSERT_GT(second, 0);
  std::int64_t third = 0;
  const struct {
    const char* value;
    bool inFirst, inSecond, inThird;
  } cases[] = {
      {"lake", true, false, true},   {"Lake", false, true, false},
      {"ake", true, true, true},     {"Kw123 r", false, true, true},
      {"river", false, true, true},  {"zzz", false, false, false},
      {"ke sh", true, false, false}, {"Kw399 river", false, true, false},
  };
  for (const char* stage : {"counted before the values came", "built again", "one more record"}) {
    const std::string now = stage;
    if (now == "built again") {
      ASSERT_EQ(MsReindex(&set, nullptr), 1);
    } else if (now == "one more record") {
      third = add({"Kw123 riverbank, lake"});
      ASSERT_GT(third, 0);
    }
    for (const auto& k : cases) {
      std::set<std::int64_t> expected;
      if (k.inFirst) expected.insert(first);
      if (k.inSecond) expected.insert(second);
      if (k.inThird && third != 0) expected.insert(third);
      ASSERT_EQ(
          MsSearch(&set, "1", {Node("like", k.value, key)}, MsSearchOptions(), &hits, nullptr), 1);
      EXPECT_EQ(Ids(hits), expected) << k.value << " " << stage;
    }
  }
  set.Close();
  EXPECT_EQ(set.Remove(&c->catalog, colID), 1);
}

TEST_P(IndexedSearchTest, DatesOfReducedPrecisionAreFoundAsTheirPeriods) {
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  const std::int32_t colID = OpenScratch("dated", &set, &schema);
  ASSERT_GT(colID, 0);
  std::map<std::string, std::int64_t> ids;
  for (const char* date : {"2004", "2015-05", "2004-06-01", " 2012 "}) {
    const std::string xml = std::string(
                                "<metadata><idinfo><citation><citeinfo><title>t</title></citeinfo>"
                                "</citation></idinfo><metainfo><metd>") +
                            date + "</metd></metainfo></metadata>";
    CBaseMetaData record(schema);
    ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
    ids[date] = set.AddMetaData(&record);
    ASSERT_GT(ids[date], 0);
    CBaseMetaData back(schema);
    std::string again;
    ASSERT_EQ(set.GetMetaData(ids[date], &back), 1);
    ASSERT_EQ(back.ToXml(again), 1);
    EXPECT_NE(again.find(std::string("<metd>") + date + "</metd>"), std::string::npos) << again;
  }
  const std::int64_t y2004 = ids["2004"], m2015 = ids["2015-05"], d2004 = ids["2004-06-01"],
                     y2012 = ids[" 2012 "];
  const struct {
    const char* op;
    const char* v1;
    const char* v2;
    std::set<std::int64_t> expected;
  } cases[] = {
      {"between", "2003-06-01", "2005-01-01", {y2004, d2004}},
      {"=", "2004-06-01", "", {y2004, d2004}},
      {"=", "2015-05-31", "", {m2015}},
      {"=", "2015-06-01", "", {}},
      {"<", "2004-01-01", "", {}},
      {"<=", "2004-01-01", "", {y2004}},
      {">", "2015-05-31", "", {}},
      {">=", "2015-05-31", "", {m2015}},
      {"<>", "2004-06-01", "", {y2004, m2015, y2012}},
      {"between", "2012-12-31", "2015-05-01", {y2012, m2015}},
  };
  // As kept by the writes, then as built anew from the stored rows.
  for (const bool rebuilt : {false, true}) {
    if (rebuilt) {
      ASSERT_EQ(MsReindex(&set, nullptr), 1);
    }
    for (const auto& k : cases) {
      SearchNode node = Node(k.op, k.v1, "/metadata/metainfo/metd");
      node.value2 = k.v2;
      std::vector<MsSearchHit> hits;
      ASSERT_EQ(MsSearch(&set, "1", {node}, MsSearchOptions(), &hits, nullptr), 1) << k.op;
      EXPECT_EQ(Ids(hits), k.expected) << k.op << " " << k.v1 << " " << k.v2 << " " << rebuilt;
    }
  }
  set.Close();
  EXPECT_EQ(set.Remove(&c->catalog, colID), 1);
}

// A build reads the stored records on a second connection only where that
// connection sees what the build's own sees: not inside a transaction of
// the caller's, whose writes (tables made anew where an earlier build's
// were) no other connection sees yet.
TEST_P(IndexedSearchTest, ASecondConnectionReadsOnlyWhatWasCommitted) {
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[64] = {};
  c->catalog.GetOraBaseInfo(hdbc, owner);
  auto index = metashelf::search::SearchIndexOf(&c->catalog, hdbc, owner, c->colID);
  ASSERT_TRUE(index);
  ASSERT_EQ(MsReindex(&c->set, nullptr), 1);
  CHostDataBase* db = c->fresh->db.get();
  EXPECT_NE(index->OpenReading(db), nullptr);
  ASSERT_EQ(db->Begin(), 1);
  ASSERT_TRUE(index->Drop() && index->Create());
  EXPECT_EQ(index->OpenReading(db), nullptr);
  ASSERT_EQ(db->Rollback(), 1);
  EXPECT_EQ(MsSearchIndexesReady(&c->set), 1);
}

// A build that fails, whichever of its statements or commits fails, leaves
// the indexes as they were (its first unit undone) or not ready, never
// ready and half-built; the next search builds them and answers as before.
TEST_P(IndexedSearchTest, ABuildThatFailsLeavesTheIndexesNotReady) {
  using metashelf::driver::Call;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[64] = {};
  c->catalog.GetOraBaseInfo(hdbc, owner);
  metashelf::driver::FaultInjector* faults = metashelf::driver::Faults(hdbc);
  ASSERT_NE(faults, nullptr);
  std::int32_t rc = 0;
  const auto before = Run(Node("text", "water"), &rc);
  ASSERT_EQ(rc, 1);
  for (const Call call : {Call::kExecute, Call::kExecDirect, Call::kEndUnit}) {
    const int counted = faults->Count(call);
    ASSERT_EQ(MsReindex(&c->set, nullptr), 1);
    const int calls = faults->Count(call) - counted;
    ASSERT_GT(calls, 1) << metashelf::driver::CallName(call);
    // One record's words failing stands for all of them; the statement
    // before the last two is one of the build's own lane at its end.
    const std::vector<int> nths = call == Call::kExecute
                                      ? std::vector<int>{calls / 2}
                                      : std::vector<int>{1, calls / 2, calls - 2, calls};
    for (const int nth : nths) {
      const std::string what = std::string(metashelf::driver::CallName(call)) + " " +
                               std::to_string(nth) + " of " + std::to_string(calls);
      faults->FailNth(call, nth);
      const std::int32_t built = MsReindex(&c->set, nullptr);
      faults->Clear();
      const std::int32_t ready = MsSearchIndexesReady(&c->set);
      if (built == 1 || ready == 1) {
        EXPECT_EQ(ready, 1) << what;
        EXPECT_EQ(Run(Node("text", "water"), &rc), before) << what;
        ASSERT_EQ(rc, 1) << what;
      }
      // Every record's words count, and every commit after the first.
      if (call == Call::kExecute || (call == Call::kEndUnit && nth > 1)) {
        EXPECT_EQ(built, 0) << what;
        EXPECT_EQ(ready, 0) << what;
      }
      if (ready == 0) {
        ASSERT_EQ(MsReindex(&c->set, nullptr), 1) << what;
      }
    }
  }
  // Every statement on the second connection (PostgreSQL's) failing after
  // the check that it sees the tables: what it was to read and write is
  // done on the build's own.
  const int counted = faults->Count(Call::kExecDirect);
  ASSERT_EQ(MsReindex(&c->set, nullptr), 1);
  const int clean = faults->Count(Call::kExecDirect) - counted;
  faults->FailNthInSiblings(Call::kExecDirect, 2, GIS_SQL_ERROR, true);
  EXPECT_EQ(MsReindex(&c->set, nullptr), 1);
  faults->Clear();
  const int redone = faults->Count(Call::kExecDirect) - counted - clean;
  EXPECT_EQ(redone > clean, GetParam() == "postgresql") << redone << " " << clean;
  EXPECT_EQ(MsSearchIndexesReady(&c->set), 1);
  EXPECT_EQ(Run(Node("text", "water"), &rc), before);
}

// A set on a connection of its own to the test's catalog.
struct OtherConnection {
  std::unique_ptr<CHostDataBase> db;
  COraMetaDataBase catalog;
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  bool Open(const std::string& uri, std::int32_t colID) {
    std::string error;
    db = CHostDataBase::Open(uri, &error);
    if (!db || catalog.mtdb_Open(db.get(), db->FindMtdb("search"), 0) != 1 ||
        set.Open(&catalog, colID) != 1) {
      return false;
    }
    set.GetCSchemaPtr(&schema);
    return schema != nullptr;
  }
  ~OtherConnection() {
    set.Close();
    catalog.mtdb_Close();
  }
};

// Adds `xml` through `set`, keeping it in `texts` by its id.
void Add(COraMetaDataSet& set, CSchema* schema, const std::string& xml,
         std::map<std::int64_t, std::string>* texts) {
  CBaseMetaData record(schema);
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  const std::int64_t id = set.AddMetaData(&record);
  ASSERT_GT(id, 0);
  (*texts)[id] = xml;
}

// On PostgreSQL an import's writes keep the rows while the indexes wait,
// and the indexes are made once when the last import in that state ends:
// records added in a batch and one by one, replaced and deleted, on the
// set's connection and on another's, are then found as the evaluation
// without the indexes finds them. On SQLite nothing waits.
TEST_P(IndexedSearchTest, RowsWrittenWhileTheIndexesWaitAreFoundOnceTheyAreMade) {
  const bool defers = GetParam() == "postgresql";
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  const std::int32_t colID = OpenScratch("deferred", &set, &schema);
  ASSERT_GT(colID, 0);
  OtherConnection other;
  ASSERT_TRUE(other.Open(c->fresh->uri, colID));
  std::vector<std::string> corpus;
  for (const auto& [id, xml] : c->texts) {
    if (corpus.size() < 60) corpus.push_back(xml);
  }
  std::int32_t deferred = -1;
  std::int32_t joined = -1;
  ASSERT_EQ(MsDeferSearchIndexes(&set, &deferred), 1);
  ASSERT_EQ(MsDeferSearchIndexes(&other.set, &joined), 1);
  EXPECT_EQ(deferred, defers ? 1 : 0);
  EXPECT_EQ(joined, deferred);
  std::map<std::int64_t, std::string> texts;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[64] = {};
  c->catalog.GetOraBaseInfo(hdbc, owner);
  ASSERT_EQ(gis_SQLBeginBatch(hdbc), 0);
  for (std::size_t k = 0; k < 40; ++k) Add(set, schema, corpus[k], &texts);
  ASSERT_EQ(gis_SQLEndUnit(hdbc, 1), 0);
  for (std::size_t k = 40; k < 50; ++k) Add(other.set, other.schema, corpus[k], &texts);
  const std::int64_t replaced = texts.begin()->first;
  const std::int64_t deleted = std::next(texts.begin())->first;
  CBaseMetaData record(schema);
  ASSERT_EQ(record.LoadXml(corpus[55].data(), corpus[55].size()), 1);
  ASSERT_EQ(set.UpdateMetaData(replaced, &record), 1);
  texts[replaced] = corpus[55];
  ASSERT_EQ(other.set.DelMetaData(deleted), 1);
  texts.erase(deleted);
  EXPECT_EQ(MsSearchIndexesReady(&set), 0);
  if (defers) {
    // The words are stored as written: compression gains nothing on them
    // and costs every write and every read.
    std::int64_t compressed = -1;
    ASSERT_TRUE(metashelf::search::QueryInt(
        hdbc,
        "select count(*) from " + std::string(owner) + ".MS_FTS_" + std::to_string(colID) +
            " where pg_column_compression(TSV) is not null or pg_column_compression(PAIRS) is not "
            "null",
        &compressed));
    EXPECT_EQ(compressed, 0);
  }
  std::int32_t ready = -1;
  ASSERT_EQ(MsEndDeferredSearchIndexes(&other.set, &ready), 1);
  EXPECT_EQ(ready, 0);  // the set is still writing
  // The last end shares its work once the host lets it (after a few asks).
  int asks = 0;
  ASSERT_EQ(MsEndDeferredSearchIndexesBeside(
                &set, &ready, [](void* n) { return ++*static_cast<int*>(n) >= 3 ? 1 : 0; }, &asks),
            1);
  EXPECT_EQ(ready, deferred);
  EXPECT_EQ(asks >= 1, defers);
  EXPECT_EQ(MsSearchIndexesReady(&set), deferred);
  ExpectSubstringAnswers(&set, texts);
  ExpectBoxAnswers(&set, texts);
  ExpectFreeTextAnswers(&set, texts);
  set.Close();
  EXPECT_EQ(set.Remove(&c->catalog, colID), 1);
}

// A state never ended (its import killed: its connection went) leaves the
// indexes not ready: the next search builds them anew, or the next import
// takes the state over and makes them when it ends; either way the answers
// are right.
TEST_P(IndexedSearchTest, AStateNeverEndedLeavesTheIndexesToTheNextSearchOrImport) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "only PostgreSQL's indexes wait";
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  const std::int32_t colID = OpenScratch("abandoned", &set, &schema);
  ASSERT_GT(colID, 0);
  std::vector<std::string> corpus;
  for (const auto& [id, xml] : c->texts) {
    if (corpus.size() < 12) corpus.push_back(xml);
  }
  std::map<std::int64_t, std::string> texts;
  for (std::size_t k = 0; k < 8; ++k) Add(set, schema, corpus[k], &texts);
  ASSERT_EQ(MsReindex(&set, nullptr), 1);
  std::size_t next = 8;
  for (const bool searchFirst : {true, false}) {
    {
      OtherConnection killed;
      ASSERT_TRUE(killed.Open(c->fresh->uri, colID));
      std::int32_t deferred = 0;
      ASSERT_EQ(MsDeferSearchIndexes(&killed.set, &deferred), 1);
      ASSERT_EQ(deferred, 1);
      Add(killed.set, killed.schema, corpus[next++], &texts);
    }
    EXPECT_EQ(MsSearchIndexesReady(&set), 0) << searchFirst;
    if (!searchFirst) {
      std::int32_t deferred = 0;
      std::int32_t ready = 0;
      ASSERT_EQ(MsDeferSearchIndexes(&set, &deferred), 1);
      EXPECT_EQ(deferred, 1);
      Add(set, schema, corpus[next++], &texts);
      ASSERT_EQ(MsEndDeferredSearchIndexes(&set, &ready), 1);
      EXPECT_EQ(ready, 1);
    }
    ExpectSubstringAnswers(&set, texts);
    ExpectFreeTextAnswers(&set, texts);
    EXPECT_EQ(MsSearchIndexesReady(&set), 1) << searchFirst;
  }
  set.Close();
  EXPECT_EQ(set.Remove(&c->catalog, colID), 1);
}

METASHELF_ON_EVERY_BACKEND(IndexedSearchTest);

}  // namespace
