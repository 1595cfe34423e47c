// End-to-end runs of the built tool on every backend (SQLite always,
// PostgreSQL when METASHELF_PG_CONNINFO names a server): the shipped samples
// imported, searched, mapped, updated and given attachments; the public
// corpus imported, searched, read back and compared with the originals,
// removed record by record and collection by collection; a batched import
// in which the database refuses one record.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "support/backend_list.h"
#include "support/pg_server.h"

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(METASHELF_SOURCE_DIR) + "/data/samples";

struct Row {
  std::string id, file, title;
};

// The rows of a tab-separated listing, header skipped.
std::vector<Row> Rows(const std::string& text) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      cells.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    Row r;
    r.id = cells[0];
    if (cells.size() == 2) r.title = cells[1];
    if (cells.size() >= 3) {
      r.file = cells[1];
      r.title = cells[2];
    }
    rows.push_back(r);
  }
  return rows;
}

std::set<std::string> Titles(const std::string& searchOutput) {
  std::set<std::string> titles;
  for (const Row& r : Rows(searchOutput)) titles.insert(r.title);
  return titles;
}

// What the export of a record file is: the file itself, except that a file
// declared in ISO-8859-1 comes back in UTF-8 (the same characters, the
// declaration saying UTF-8), as every text is UTF-8 inside.
std::string ExpectedExport(const std::string& original) {
  const std::size_t end = original.rfind("?>", original.find('\n'));
  const std::string declaration = original.substr(0, end == std::string::npos ? 0 : end);
  std::string lower = declaration;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t label = lower.find("iso-8859-1");
  if (original.rfind("<?xml", 0) != 0 || label == std::string::npos) return original;
  std::string out = original.substr(0, label) + "UTF-8";
  for (std::size_t i = label + 10; i < original.size(); ++i) {
    const auto c = static_cast<unsigned char>(original[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class CliWorkflowTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/metashelf-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    static std::atomic<int> counter{0};
    catalog_ = "cli" + std::to_string(getpid()) + "x" + std::to_string(counter++);
    if (GetParam() == "postgresql") {
      const char* conninfo = metashelf::testing::PgServerConninfo();
      if (conninfo == nullptr) GTEST_SKIP() << "no PostgreSQL server in this run";
      db_ = conninfo;
    } else {
      db_ = "sqlite:" + dir_ + "/cli.db";
    }
    const CliResult init = Run({"init"});
    if (GetParam() == "postgresql" &&
        init.err.find("not supported by this build") != std::string::npos) {
      db_.clear();
      GTEST_SKIP() << "this build cannot open PostgreSQL databases yet: " << init.err;
    }
    ASSERT_EQ(init.status, 0) << init.err;
  }

  void TearDown() override {
    if (!db_.empty() && GetParam() == "postgresql") Run({"drop-catalog", catalog_, "--force"});
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db_, "--catalog", catalog_, "--quiet"});
    return RunCli(args, dir_);
  }

  CliResult Ok(const std::vector<std::string>& args) {
    CliResult r = Run(args);
    EXPECT_EQ(r.status, 0) << args[0] << " failed: " << r.err;
    return r;
  }

  // Collection names are unique per database owner, so tests that share a
  // PostgreSQL database use names of their own.
  std::string Coll(const std::string& base) { return catalog_ + "_" + base; }

  // Registers fgdc and imports the FGDC samples into a new collection.
  std::string FgdcSamples() {
    Ok({"schema", "add", "fgdc"});
    const std::string c = Coll("fgdc");
    Ok({"collection", "create", c, "--schema", "fgdc"});
    const CliResult r = Ok({"import", c, kSamples + "/fgdc"});
    EXPECT_NE(r.out.find("stored 5 of 5"), std::string::npos) << r.out;
    return c;
  }

  // Makes the database itself refuse any text value `value` in the
  // collection's text table, as a site's own constraint would: a trigger on
  // SQLite, a check constraint on PostgreSQL. The collection is stored
  // under the default owner METASHELF.
  void RefuseText(const std::string& collection, const std::string& value) {
    std::string id;
    for (const Row& r : Rows(Ok({"collection", "list"}).out)) {
      if (r.file == collection) id = r.id;
    }
    ASSERT_FALSE(id.empty()) << collection << " is not listed";
    std::string quoted = "'";
    for (char ch : value) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    quoted += "'";
    if (GetParam() == "postgresql") {
      PGconn* conn = PQconnectdb(db_.c_str());
      ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
      const std::string sql = "ALTER TABLE metashelf.meta_ndtext_" + id +
                              " ADD CONSTRAINT refused_" + id +
                              " CHECK (nodevalue IS DISTINCT FROM " + quoted + ")";
      PGresult* r = PQexec(conn, sql.c_str());
      EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(conn);
      PQclear(r);
      PQfinish(conn);
      return;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_ + "/cli.db").c_str(), &db), SQLITE_OK);
    const std::string sql = "CREATE TRIGGER refused_" + id +
                            " BEFORE INSERT ON \"METASHELF.META_NDTEXT_" + id +
                            "\" WHEN NEW.NODEVALUE = " + quoted +
                            " BEGIN SELECT RAISE(ABORT, 'refused by site policy'); END";
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  std::string CollectionId(const std::string& collection) {
    for (const Row& r : Rows(Ok({"collection", "list"}).out)) {
      if (r.file == collection) return r.id;
    }
    ADD_FAILURE() << collection << " is not listed";
    return "0";
  }

  // Runs `sql` behind the tool's back, on the database of the default
  // owner; the first column of the first row, or "" (failures are test
  // failures).
  std::string Query(const std::string& sql) {
    std::string value;
    if (GetParam() == "postgresql") {
      PGconn* conn = PQconnectdb(db_.c_str());
      EXPECT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
      PGresult* r = PQexec(conn, sql.c_str());
      EXPECT_TRUE(PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK)
          << sql << ": " << PQerrorMessage(conn);
      if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0) value = PQgetvalue(r, 0, 0);
      PQclear(r);
      PQfinish(conn);
      return value;
    }
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open((dir_ + "/cli.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db);
    const int rc = sqlite3_step(stmt);
    EXPECT_TRUE(rc == SQLITE_ROW || rc == SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db);
    if (rc == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
  }

  // How many of the collection's three value indexes exist.
  std::string ValueIndexCount(const std::string& id) {
    if (GetParam() == "postgresql") {
      return Query(
          "SELECT count(*) FROM pg_indexes WHERE schemaname='metashelf' AND indexname "
          "LIKE 'meta_nd%\\_" +
          id + "\\_nv'");
    }
    return Query(
        "SELECT count(*) FROM sqlite_master WHERE type='index' AND name LIKE "
        "'METASHELF.META_ND%\\_" +
        id + "\\_NV' ESCAPE '\\'");
  }

  std::string IdOf(const std::string& collection, const std::string& file) {
    for (const Row& r : Rows(Ok({"list", collection}).out)) {
      if (r.file == file) return r.id;
    }
    ADD_FAILURE() << file << " not listed in " << collection;
    return "0";
  }

  std::string dir_;
  std::string db_;
  std::string catalog_;
};

TEST_P(CliWorkflowTest, SamplesAreSearchedByReadableQueries) {
  const std::string c = FgdcSamples();
  const std::set<std::string> water = {"Hydrography of the Upper Willow Creek Watershed, Oregon",
                                       "Land Cover of Boulder County, Colorado, 2016",
                                       "Groundwater Wells of the Edwards Aquifer Region, Texas"};
  EXPECT_EQ(Titles(Ok({"search", c, "abstract like water"}).out), water);
  // Built anew by the tool, the indexes answer as before.
  Ok({"reindex", c});
  EXPECT_EQ(Titles(Ok({"search", c, "abstract like water"}).out), water);
  // "and" binds tighter than "or", whatever order the database uses.
  EXPECT_EQ(
      Titles(Ok({"search", c, "keyword = Hydrology and (westbc >= -110 or northbc > 45)"}).out),
      (std::set<std::string>{"Groundwater Wells of the Edwards Aquifer Region, Texas",
                             "Bathymetry of Lake Champlain"}));
  EXPECT_EQ(
      Titles(Ok({"search", c, "title like Seismic or keyword = Hydrology and westbc < -120"}).out),
      (std::set<std::string>{"Seismic Stations of the Aleutian Islands",
                             "Hydrography of the Upper Willow Creek Watershed, Oregon"}));
  EXPECT_TRUE(Titles(Ok({"search", c, "title = 'no such title'"}).out).empty());

  const CliResult json = Ok({"search", c, "--json", "northbc between 44 and 45"});
  EXPECT_NE(json.out.find("\"expression\":\"1\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"count\":1"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("Willow Creek"), std::string::npos) << json.out;
  // What --json prints reads back as JSON: quotes in values escaped, numbers
  // as numbers.
  const auto quoted =
      nlohmann::json::parse(Ok({"search", c, "--json", "title = 'say \"hi\" \\ now'"}).out);
  EXPECT_EQ(quoted["conditions"][0]["value"], "say \"hi\" \\ now");
  EXPECT_EQ(quoted["count"], 0);
  const auto bounds = nlohmann::json::parse(Ok({"values", c, "westbc", "--json"}).out);
  ASSERT_EQ(bounds["values"].size(), 5u);
  std::set<double> westNumbers;
  for (const auto& v : bounds["values"]) westNumbers.insert(v["value"].get<double>());
  EXPECT_EQ(westNumbers.count(-121.912), 1u);
  EXPECT_EQ(bounds["type"], "number");

  const std::vector<Row> values = Rows(Ok({"values", c, "westbc"}).out);
  ASSERT_EQ(values.size(), 5u);
  std::set<std::string> wests;
  for (const Row& r : values) wests.insert(r.title);
  EXPECT_EQ(wests.count("-121.912"), 1u);
  EXPECT_EQ(wests.count("172.45"), 1u);
}

TEST_P(CliWorkflowTest, MapHasOneBoxPerRecordWithBounds) {
  const std::string c = FgdcSamples();
  Ok({"map", c, "-o", "all.svg"});
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((dir_ + "/all.svg").c_str()));
  EXPECT_EQ(doc.select_nodes("//g[@class='record']").size(), 5u);
  // The Aleutian box crosses the antimeridian and is still one record.
  EXPECT_EQ(doc.select_nodes("//g[@class='record'][contains(title, 'Aleutian')]").size(), 1u);

  Ok({"map", c, "keyword = Hydrology", "-o", "hydro.svg"});
  ASSERT_TRUE(doc.load_file((dir_ + "/hydro.svg").c_str()));
  EXPECT_EQ(doc.select_nodes("//g[@class='record']").size(), 3u);
}

TEST_P(CliWorkflowTest, UpdateAttachmentsAndRemoval) {
  const std::string c = FgdcSamples();
  const std::string id = IdOf(c, "willow_creek_hydrography.xml");
  const std::string replacement = kSamples + "/fgdc/boulder_land_cover_2016.xml";
  Ok({"update", c, id, replacement});
  Ok({"get", c, id, "-o", "updated.xml"});
  EXPECT_EQ(SlurpFile(dir_ + "/updated.xml"), SlurpFile(replacement));

  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  std::ofstream(dir_ + "/photo.bin", std::ios::binary) << bytes << bytes;
  Ok({"attach", c, id, "photo.bin"});
  Ok({"attachment", c, id, "-o", "back.bin"});
  EXPECT_EQ(SlurpFile(dir_ + "/back.bin"), bytes + bytes);
  std::ofstream(dir_ + "/small.bin", std::ios::binary) << "abc";
  Ok({"attach", c, id, "small.bin"});  // replaces
  Ok({"attachment", c, id, "-o", "back.bin"});
  EXPECT_EQ(SlurpFile(dir_ + "/back.bin"), "abc");
  Ok({"detach", c, id});
  const CliResult none = Run({"attachment", c, id, "-o", "back.bin"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("has no attachment"), std::string::npos) << none.err;

  Ok({"rm", c, id});
  EXPECT_EQ(Rows(Ok({"list", c}).out).size(), 4u);
  const CliResult gone = Run({"get", c, id});
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.err.find("no record " + id), std::string::npos) << gone.err;

  Ok({"collection", "rm", c});
  EXPECT_EQ(Ok({"collection", "list"}).out.find(c), std::string::npos);
  Ok({"schema", "rm", "fgdc"});
}

TEST_P(CliWorkflowTest, RefusedRecordOfABatchLeavesTheOthersStored) {
  Ok({"schema", "add", "fgdc"});
  // All five samples go in one batch, given or by default; the third is
  // refused, so the batch is rolled back and its records are written one by
  // one.
  for (const std::vector<std::string>& batch :
       {std::vector<std::string>{"--batch", "5"}, std::vector<std::string>{}}) {
    SCOPED_TRACE(batch.empty() ? "default batch" : "--batch 5");
    const std::string c = Coll(batch.empty() ? "default" : "five");
    Ok({"collection", "create", c, "--schema", "fgdc"});
    RefuseText(c, "Groundwater Wells of the Edwards Aquifer Region, Texas");
    if (HasFatalFailure()) return;
    std::vector<std::string> args = {"import", c, kSamples + "/fgdc"};
    args.insert(args.end(), batch.begin(), batch.end());
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("stored 4 of 5 record(s)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; 1 rejected"), std::string::npos) << r.out;
    const std::string rejected =
        "rejected " + kSamples +
        "/fgdc/edwards_aquifer_wells.xml: the collection refused the record";
    const std::size_t at = r.out.find(rejected);
    ASSERT_NE(at, std::string::npos) << r.out;
    // With the database's own reason: the trigger's words, or the check
    // constraint that the value violates.
    const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
    EXPECT_NE(line.find(GetParam() == "postgresql" ? "violates check constraint \"refused_"
                                                   : ": refused by site policy"),
              std::string::npos)
        << line;

    std::set<std::string> files;
    for (const Row& row : Rows(Ok({"list", c}).out)) files.insert(row.file);
    EXPECT_EQ(files, (std::set<std::string>{
                         "aleutian_seismic_stations.xml", "boulder_land_cover_2016.xml",
                         "lake_champlain_bathymetry.xml", "willow_creek_hydrography.xml"}));
    // The refused record and the rolled-back batch left no values behind.
    EXPECT_EQ(Rows(Ok({"values", c, "title"}).out).size(), 4u);
    EXPECT_EQ(Rows(Ok({"values", c, "westbc"}).out).size(), 4u);
    const std::string id = IdOf(c, "lake_champlain_bathymetry.xml");
    EXPECT_EQ(Ok({"get", c, id}).out, SlurpFile(kSamples + "/fgdc/lake_champlain_bathymetry.xml"));
  }
}

// Several writers at once, some records refused by the database itself:
// each good record is stored once, with the rows one writer writes for it,
// and each refused one is reported, in the order of the files.
TEST_P(CliWorkflowTest, SeveralWritersStoreEachRecordOnceAndReportEachRefusal) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "SQLite writes with one writer";
  const std::string in = dir_ + "/many";
  fs::create_directories(in);
  const std::vector<std::string> sources = {
      "aleutian_seismic_stations.xml", "boulder_land_cover_2016.xml", "edwards_aquifer_wells.xml",
      "lake_champlain_bathymetry.xml", "willow_creek_hydrography.xml"};
  constexpr int kFiles = 60;
  std::set<std::string> good;
  std::set<std::string> bad;  // in the order the files are read
  for (int i = 0; i < kFiles; ++i) {
    std::string text = SlurpFile(kSamples + "/fgdc/" + sources[i % sources.size()]);
    const std::size_t at = text.find("<title>") + 7;
    const bool refused = i % 9 == 4;
    text.replace(at, text.find("</title>") - at,
                 refused ? "refused" : "record " + std::to_string(i));
    const std::string name = "r" + std::to_string(100 + i) + ".xml";
    std::ofstream(in + "/" + name, std::ios::binary) << text;
    (refused ? bad : good).insert(name);
  }
  Ok({"schema", "add", "fgdc"});
  std::map<std::string, std::string> rows;  // per writer count: each record's rows per table
  for (const std::string writers : {"1", "3"}) {
    SCOPED_TRACE("--writers " + writers);
    const std::string c = Coll("w" + writers);
    Ok({"collection", "create", c, "--schema", "fgdc"});
    RefuseText(c, "refused");
    if (HasFatalFailure()) return;
    const CliResult r = Run({"import", c, in, "--batch", "4", "--writers", writers});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("stored " + std::to_string(good.size()) + " of " + std::to_string(kFiles) +
                         " record(s)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("; " + std::to_string(bad.size()) + " rejected"), std::string::npos);
    std::size_t from = 0;
    for (const std::string& name : bad) {
      const std::size_t at =
          r.out.find("rejected " + in + "/" + name + ": the collection refused the record", from);
      EXPECT_NE(at, std::string::npos) << name << "\n" << r.out;
      if (at != std::string::npos) from = at;
    }
    std::multiset<std::string> listed;
    for (const Row& row : Rows(Ok({"list", c}).out)) listed.insert(row.file);
    EXPECT_EQ(listed, std::multiset<std::string>(good.begin(), good.end()));
    const std::string id = CollectionId(c);
    std::string counts = "i.remark";
    for (const char* table :
         {"meta_structinfo_", "meta_ndtext_", "meta_ndnumber_", "meta_nddatetime_"}) {
      counts += " || '/' || (SELECT count(*) FROM metashelf." + std::string(table) + id +
                " t WHERE t.metaid = i.meta_id)";
    }
    rows[writers] = Query("SELECT string_agg(" + counts +
                          ", ',' ORDER BY i.remark) FROM metashelf.krdb_meta_info i "
                          "WHERE i.col_id = " +
                          id);
  }
  EXPECT_EQ(rows["3"], rows["1"]);
  EXPECT_NE(rows["1"].find("r101.xml/1/"), std::string::npos) << rows["1"];
}

// A folder as a data manager finds it: FGDC records with a block of their
// own, an ISO record, a schema text, and a record that holds nothing but
// the block. The FGDC collection refuses what does not belong, reports the
// block, and a schema grown from the folder makes the block searchable.
TEST_P(CliWorkflowTest, ForeignRecordsAreRefusedAndUnknownPathsReportedUntilTheSchemaGrows) {
  const std::string in = dir_ + "/incoming";
  fs::create_directories(in);
  const std::string block =
      "<survey><vessel>Ranger</vessel><crew>Ann</crew><crew>Bo</crew></survey></metadata>";
  for (const char* name : {"boulder_land_cover_2016.xml", "lake_champlain_bathymetry.xml"}) {
    std::string text = SlurpFile(kSamples + "/fgdc/" + name);
    text.replace(text.rfind("</metadata>"), 11, block);
    std::ofstream(in + "/" + name, std::ios::binary) << text;
  }
  fs::copy_file(kSamples + "/iso19139/svalbard_glaciers.xml", in + "/svalbard_glaciers.xml");
  fs::copy_file(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml", in + "/schema.xml");
  std::ofstream(in + "/only_survey.xml") << "<metadata>" << block;

  Ok({"schema", "add", "fgdc"});
  const std::string c = Coll("rivers");
  Ok({"collection", "create", c, "--schema", "fgdc"});
  const std::vector<std::string> db = {"--db", db_, "--catalog", catalog_};
  auto import = [&](const std::string& collection, const std::vector<std::string>& extra) {
    std::vector<std::string> args = db;
    args.insert(args.end(), {"import", collection, in});
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args, dir_);
  };
  const CliResult first = import(c, {});
  EXPECT_EQ(first.status, 1) << first.out << first.err;
  for (const std::string& expected : std::vector<std::string>{
           "stored 2 of 5 record(s)", std::string("; 3 rejected"),
           "2 with 6 value(s) under paths the schema does not know",
           in + "/svalbard_glaciers.xml: root MD_Metadata {http://www.isotc211.org/2005/gmd} is "
                "not the root of schema KORVEN_FGDC (metadata)\n",
           in + "/schema.xml: root schemaText is not the root of schema KORVEN_FGDC (metadata)\n",
           in + "/only_survey.xml: not one of its 3 value(s) has a place in schema KORVEN_FGDC\n",
           std::string("  VALUES\tRECORDS\tPATH\n  4\t2\t/metadata/survey/crew\n"
                       "  2\t2\t/metadata/survey/vessel\n")}) {
    EXPECT_NE(first.out.find(expected), std::string::npos) << expected << "\n" << first.out;
  }
  // Per record on standard error, unless --no-notes; the summary stays.
  const std::string note =
      "lake_champlain_bathymetry.xml: 3 value(s) under paths that schema "
      "KORVEN_FGDC does not know (kept, not searchable):\n"
      "  /metadata/survey/vessel (1)\n  /metadata/survey/crew (2)";
  EXPECT_NE(first.err.find(note), std::string::npos) << first.err;
  Ok({"collection", "create", Coll("quiet"), "--schema", "fgdc"});
  const CliResult quiet = import(Coll("quiet"), {"--no-notes"});
  EXPECT_EQ(quiet.err.find("does not know"), std::string::npos) << quiet.err;
  EXPECT_NE(quiet.out.find("  4\t2\t/metadata/survey/crew\n"), std::string::npos) << quiet.out;
  // Kept whole, but not a field of the schema.
  const std::string id = IdOf(c, "lake_champlain_bathymetry.xml");
  EXPECT_EQ(Ok({"get", c, id}).out, SlurpFile(in + "/lake_champlain_bathymetry.xml"));
  EXPECT_EQ(Run({"search", c, "/metadata/survey/vessel = Ranger"}).status, 2);

  // The schema grown from the folder: foreign roots add nothing (and are
  // named), the bounds and title it already has are not guessed again.
  std::vector<std::string> grow = db;
  grow.insert(grow.end(), {"schema", "from-samples", "--extend", "fgdc", in});
  const CliResult grown = RunCli(grow, dir_);
  ASSERT_EQ(grown.status, 0) << grown.err;
  EXPECT_NE(grown.err.find("samples with root MD_Metadata {http://www.isotc211.org/2005/gmd} "
                           "are not records of schema 'KORVEN_FGDC'"),
            std::string::npos)
      << grown.err;
  EXPECT_EQ(grown.err.find("guessed"), std::string::npos) << grown.err;
  EXPECT_NE(grown.out.find("<schemaText name=\"FGDC CSDGM\">"), std::string::npos);
  std::ofstream(dir_ + "/fgdc-survey.xml", std::ios::binary) << grown.out;
  Ok({"schema", "add", "FGDC_SURVEY", dir_ + "/fgdc-survey.xml"});
  const std::string surveys = Coll("surveys");
  Ok({"collection", "create", surveys, "--schema", "FGDC_SURVEY"});
  const CliResult again = import(surveys, {});
  EXPECT_NE(again.out.find("stored 3 of 5 record(s)"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("does not know"), std::string::npos) << again.out;
  std::set<std::string> titles;
  for (const Row& r : Rows(Ok({"search", surveys, "/metadata/survey/vessel = Ranger"}).out))
    titles.insert(r.title);
  EXPECT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles.count("Bathymetry of Lake Champlain"), 1u);
}

TEST_P(CliWorkflowTest, ValueIndexesBuiltAfterTheRowsServeSearchesAndComeBackWhenLost) {
  Ok({"schema", "add", "fgdc"});
  const std::string c = Coll("after");
  Ok({"collection", "create", c, "--schema", "fgdc"});
  const std::string id = CollectionId(c);
  EXPECT_EQ(ValueIndexCount(id), "3");
  const CliResult r = Ok({"import", c, kSamples + "/fgdc", "--value-indexes", "after"});
  EXPECT_NE(r.out.find("stored 5 of 5"), std::string::npos) << r.out;
  EXPECT_EQ(ValueIndexCount(id), "3");
  const std::set<std::string> hydrology = {"Groundwater Wells of the Edwards Aquifer Region, Texas",
                                           "Bathymetry of Lake Champlain"};
  const std::string query = "keyword = Hydrology and (westbc >= -110 or northbc > 45)";
  EXPECT_EQ(Titles(Ok({"search", c, query}).out), hydrology);

  // An import killed while they were dropped leaves them missing; searches
  // are still right, and the next import builds them before anything else
  // (on SQLite every import does; elsewhere one that builds them after).
  for (const char* table : {"META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
    Query(GetParam() == "postgresql"
              ? std::string("DROP INDEX metashelf.") + table + id + "_NV"
              : std::string("DROP INDEX \"METASHELF.") + table + id + "_NV\"");
  }
  EXPECT_EQ(ValueIndexCount(id), "0");
  EXPECT_EQ(Titles(Ok({"search", c, query}).out), hydrology);
  std::vector<std::string> again = {"import", c, kSamples + "/fgdc/lake_champlain_bathymetry.xml"};
  if (GetParam() == "postgresql") again.insert(again.end(), {"--value-indexes", "after"});
  const CliResult restored = Ok(again);
  EXPECT_NE(restored.err.find("built 3 value index(es) of '" + c + "'"), std::string::npos)
      << restored.err;
  EXPECT_EQ(ValueIndexCount(id), "3");
  EXPECT_EQ(Rows(Ok({"search", c, query}).out).size(), 3u);

  const CliResult bad = Run({"import", c, kSamples + "/fgdc", "--value-indexes", "later"});
  EXPECT_EQ(bad.status, 2) << bad.err;
}

// On PostgreSQL an import, the first into a new collection as well as one
// into a collection whose search indexes are ready, leaves them ready: no
// search has to build them. One without them leaves them to the first
// search, as every import into a new collection does on SQLite.
TEST_P(CliWorkflowTest, AnImportLeavesTheSearchIndexesReady) {
  Ok({"schema", "add", "fgdc"});
  const bool makes = GetParam() == "postgresql";
  auto ready = [&](const std::string& c) {
    const std::string id = CollectionId(c);
    return Query(makes ? "SELECT count(*) FROM pg_tables WHERE schemaname='metashelf' AND "
                         "tablename='ms_ready_" +
                             id + "'"
                       : "SELECT count(*) FROM sqlite_master WHERE name='METASHELF.MS_READY_" + id +
                             "'") == "1";
  };
  const std::set<std::string> water = {"Hydrography of the Upper Willow Creek Watershed, Oregon",
                                       "Land Cover of Boulder County, Colorado, 2016",
                                       "Groundwater Wells of the Edwards Aquifer Region, Texas"};
  for (const bool without : {false, true}) {
    const std::string c = Coll(without ? "unindexed" : "indexed");
    Ok({"collection", "create", c, "--schema", "fgdc"});
    std::vector<std::string> args = {"import", c, kSamples + "/fgdc/lake_champlain_bathymetry.xml"};
    if (without) args.emplace_back("--no-search-indexes");
    Ok(args);
    EXPECT_EQ(ready(c), makes && !without) << c;
    args[2] = kSamples + "/fgdc";
    Ok(args);
    EXPECT_EQ(ready(c), makes && !without) << c;
    EXPECT_EQ(Titles(Ok({"search", c, "abstract like water"}).out), water) << c;
    EXPECT_TRUE(ready(c)) << c;
  }
}

TEST_P(CliWorkflowTest, CorpusRoundTrip) {
  const std::string corpus = METASHELF_CORPUS_DIR;
  if (!fs::is_directory(corpus + "/fgdc")) {
    GTEST_SKIP() << "corpus not found at " << corpus << ": the corpus round trip is skipped";
  }
  Ok({"schema", "add", "fgdc"});
  Ok({"schema", "add", "iso19139"});
  for (const std::string standard : {"fgdc", "iso19139"}) {
    SCOPED_TRACE(standard);
    const std::string c = Coll(standard);
    const std::string folder = corpus + "/" + standard;
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(folder)) files += e.path().extension() == ".xml";
    Ok({"collection", "create", c, "--schema", standard});
    const CliResult imported = Run({"import", c, folder, "--batch", "25"});
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    EXPECT_NE(imported.out.find("stored " + std::to_string(files) + " of " + std::to_string(files)),
              std::string::npos)
        << imported.out;

    // A search finds records, and every id it prints is one of ours.
    const std::vector<Row> listed = Rows(Ok({"list", c}).out);
    ASSERT_EQ(listed.size(), files);
    std::set<std::string> ids;
    for (const Row& r : listed) ids.insert(r.id);
    const std::vector<Row> found = Rows(Ok({"search", c, "title like a"}).out);
    EXPECT_GT(found.size(), files / 2);
    for (const Row& r : found) EXPECT_EQ(ids.count(r.id), 1u) << r.id;

    // Every record comes back exactly as its file (in UTF-8).
    Ok({"export", c, "out-" + standard});
    std::size_t same = 0;
    for (const Row& r : listed) {
      const std::string exported = SlurpFile(dir_ + "/out-" + standard + "/" + r.id + ".xml");
      const std::string original = ExpectedExport(SlurpFile(folder + "/" + r.file));
      EXPECT_TRUE(exported == original)
          << r.file << " (record " << r.id << ") differs from its export: " << exported.size()
          << " bytes exported, " << original.size() << " in the file";
      same += exported == original;
    }
    EXPECT_EQ(same, files);
    const CliResult one = Ok({"get", c, listed.front().id});
    EXPECT_TRUE(one.out == ExpectedExport(SlurpFile(folder + "/" + listed.front().file)))
        << listed.front().file;

    // Removal: some records, then the collection.
    Ok({"rm", c, listed[0].id, listed[1].id});
    EXPECT_EQ(Rows(Ok({"list", c}).out).size(), files - 2);
    Ok({"collection", "rm", c});
    EXPECT_EQ(Run({"list", c}).status, 1);
  }
}

METASHELF_ON_EVERY_BACKEND(CliWorkflowTest);

}  // namespace
