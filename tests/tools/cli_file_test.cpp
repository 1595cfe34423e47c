// The database as people handle a file, through the built tool: one file
// that copies whole, the older several-file layout refused and converted,
// backups taken while an import runs, damaged files that never give out
// damaged records, read-only media, a full disk, and paths and arguments
// that used to be misread.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "cli_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(METASHELF_SOURCE_DIR) + "/data/samples/fgdc";

bool Contains(const std::string& text, const std::string& needle) {
  return text.find(needle) != std::string::npos;
}

// Runs `sql` on the SQLite file `path` (test failures on error).
void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << sql << ": " << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

// The rows of `sql` on `path`, first column only.
std::vector<std::string> Column(const std::string& path, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
  while (s && sqlite3_step(s) == SQLITE_ROW) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    out.emplace_back(t ? t : "");
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return out;
}

// Writes the one-file database `main` back in the older layout: the
// owner's tables in "<stem>.METASHELF.db", the sequences in
// "<stem>.sequences.db", the main file keeping only the registry.
void WriteOlderLayout(const std::string& main) {
  const std::string stem = main.substr(0, main.size() - 3);
  std::string sql = "ATTACH '" + stem + ".METASHELF.db' AS o; ATTACH '" + stem +
                    ".sequences.db' AS q; BEGIN;"
                    "CREATE TABLE q.SEQUENCES(OWNER TEXT NOT NULL,NAME TEXT NOT NULL,LAST "
                    "INTEGER NOT NULL,INCREMENT INTEGER NOT NULL,PRIMARY KEY(OWNER,NAME));"
                    "INSERT INTO q.SEQUENCES SELECT * FROM MS_SEQUENCES;";
  for (const std::string& table : Column(
           main, "SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'METASHELF.%'")) {
    const std::string bare = table.substr(10);
    sql += "CREATE TABLE o.\"" + bare + "\" AS SELECT * FROM \"" + table + "\"; DROP TABLE \"" +
           table + "\";";
  }
  sql += "DROP TABLE MS_SEQUENCES; COMMIT; PRAGMA user_version=0;";
  Sql(main, sql);
}

class CliFileTest : public CliFolderTest {
 protected:
  std::string File() const { return dir_ + "/" + dbFile_; }

  // Collection "c" holding the FGDC samples (`times` over).
  void Prepare(int times = 1) {
    for (const std::vector<std::string>& a : {std::vector<std::string>{"init"},
                                              {"schema", "add", "fgdc"},
                                              {"collection", "create", "c", "--schema", "fgdc"}}) {
      const CliResult r = Run(a);
      ASSERT_EQ(r.status, 0) << r.err;
    }
    std::vector<std::string> import{"import", "c"};
    for (int i = 0; i < times; ++i) import.push_back(kSamples);
    const CliResult r = Run(import);
    ASSERT_EQ(r.status, 0) << r.err;
  }

  std::vector<std::string> Ids(const std::string& db) {
    std::vector<std::string> ids;
    const CliResult r = RunCli({"--db", db, "list", "c"}, dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    std::size_t at = r.out.find('\n');
    while (at != std::string::npos && at + 1 < r.out.size()) {
      const std::size_t tab = r.out.find('\t', at + 1);
      ids.push_back(r.out.substr(at + 1, tab - at - 1));
      at = r.out.find('\n', at + 1);
    }
    return ids;
  }

  // Every record of "c" in `db`, rebuilt.
  std::vector<std::string> Records(const std::string& db) {
    std::vector<std::string> out;
    for (const std::string& id : Ids(db)) {
      const CliResult r = RunCli({"--db", db, "get", "c", id}, dir_);
      EXPECT_EQ(r.status, 0) << r.err;
      out.push_back(r.out);
    }
    return out;
  }
};

TEST_F(CliFileTest, TheDatabaseIsOneFileThatCopiesWhole) {
  Prepare();
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) {
    if (e.path().filename().string()[0] != '.') names.push_back(e.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"cli.db"});
  fs::create_directory(dir_ + "/elsewhere");
  fs::copy_file(File(), dir_ + "/elsewhere/copy.db");
  const std::string copy = "sqlite:" + dir_ + "/elsewhere/copy.db";
  EXPECT_EQ(Records(copy), Records(db_));
  EXPECT_EQ(Records(copy).size(), 5u);
}

TEST_F(CliFileTest, OlderLayoutIsRefusedUntilUpgradedAndNeverShownEmpty) {
  struct Case {
    const char* name;
    const char* lost;      // file of the older layout removed or emptied, "" for none
    bool emptied;          // truncated rather than removed
    const char* upgraded;  // what the upgrade says; "" when it must fail
  };
  const Case cases[] = {
      {"all files", "", false, "sequences taken from"},
      {"sequences lost", ".sequences.db", false, "ids continue after the largest in use"},
      {"owner file lost", ".METASHELF.db", false, ""},
      {"owner file emptied", ".METASHELF.db", true, ""},
  };
  Prepare();
  const std::vector<std::string> before = Records(db_);
  const std::string pristine = dir_ + "/pristine.db";
  fs::copy_file(File(), pristine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string main = dir_ + "/old.db";
    for (const char* f : {"/old.db", "/old.METASHELF.db", "/old.sequences.db"}) {
      fs::remove(dir_ + f);
    }
    fs::copy_file(pristine, main);
    WriteOlderLayout(main);
    if (*c.lost) {
      const std::string lost = dir_ + "/old" + c.lost;
      if (c.emptied) {
        std::ofstream(lost, std::ios::trunc).close();
      } else {
        fs::remove(lost);
      }
    }
    const std::string db = "sqlite:" + main;
    for (const std::vector<std::string>& read :
         {std::vector<std::string>{"collection", "list"}, {"list", "c"}}) {
      std::vector<std::string> args{"--db", db};
      args.insert(args.end(), read.begin(), read.end());
      const CliResult r = RunCli(args, dir_);
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_TRUE(Contains(r.err, "run 'metashelf upgrade'")) << r.err;
    }
    const CliResult up = RunCli({"--db", db, "upgrade"}, dir_);
    if (!*c.upgraded) {
      EXPECT_EQ(up.status, 1);
      EXPECT_TRUE(Contains(up.err, std::string("old") + c.lost)) << up.err;
      EXPECT_TRUE(Contains(RunCli({"--db", db, "list", "c"}, dir_).err, "metashelf upgrade"));
      continue;
    }
    ASSERT_EQ(up.status, 0) << up.err;
    EXPECT_TRUE(Contains(up.out, c.upgraded)) << up.out;
    EXPECT_EQ(Records(db), before);
    // New objects get ids no record, collection or schema has.
    const CliResult created =
        RunCli({"--db", db, "collection", "create", "d", "--schema", "fgdc"}, dir_);
    ASSERT_EQ(created.status, 0) << created.err;
    const CliResult more = RunCli({"--db", db, "import", "c", kSamples}, dir_);
    EXPECT_EQ(more.status, 0) << more.out << more.err;
    EXPECT_EQ(Ids(db).size(), 10u);
    EXPECT_TRUE(Contains(RunCli({"--db", db, "upgrade"}, dir_).out, "already one file"));
  }
}

TEST_F(CliFileTest, BackupIsAConsistentCopyTakenWhileAnImportRuns) {
  Prepare();
  std::vector<std::string> args{"--db", db_, "-q", "import", "c", "--batch", "1"};
  for (int i = 0; i < 20; ++i) args.push_back(kSamples);
  const pid_t importer = SpawnCli(args, dir_, dir_ + "/.import_out", dir_ + "/.import_err");
  ASSERT_GT(importer, 0);
  std::vector<std::string> copies;
  for (int i = 0; i < 4; ++i) {
    const std::string copy = dir_ + "/copy" + std::to_string(i) + ".db";
    const CliResult r = Run({"backup", copy});
    ASSERT_EQ(r.status, 0) << r.err;
    copies.push_back(copy);
  }
  int status = 0;
  ASSERT_EQ(waitpid(importer, &status, 0), importer);
  EXPECT_EQ(WEXITSTATUS(status), 0) << SlurpFile(dir_ + "/.import_err");
  const std::size_t total = Ids(db_).size();
  EXPECT_EQ(total, 105u);
  for (const std::string& copy : copies) {
    const CliResult check = RunCli({"--db", "sqlite:" + copy, "check"}, dir_);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const std::size_t held = Ids("sqlite:" + copy).size();
    EXPECT_GE(held, 5u);
    EXPECT_LE(held, total);
  }
  const CliResult again = Run({"backup", copies[0]});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(Contains(again.err, "exists")) << again.err;
}

TEST_F(CliFileTest, DamagedFileNeverGivesOutDamagedRecords) {
  Prepare();
  // Overwrite the bytes around every stored copy of a word the records use.
  std::string bytes = SlurpFile(File());
  std::mt19937 random(17);
  std::size_t hits = 0;
  for (std::size_t at = bytes.find("Creek"); at != std::string::npos;
       at = bytes.find("Creek", at + 64)) {
    for (std::size_t k = at; k < at + 24 && k < bytes.size(); ++k) {
      bytes[k] = static_cast<char>(0x80 | (random() & 0x7f));
    }
    ++hits;
  }
  ASSERT_GT(hits, 0u);
  std::ofstream(File(), std::ios::binary | std::ios::trunc) << bytes;

  std::size_t refused = 0;
  for (int id = 1; id <= 40; ++id) {
    const CliResult r = Run({"get", "c", std::to_string(id)});
    if (Contains(r.err, "no record")) continue;
    if (r.status == 0) {
      pugi::xml_document doc;
      EXPECT_TRUE(doc.load_buffer(r.out.data(), r.out.size())) << id;
      for (unsigned char c : r.out) EXPECT_LT(c, 0xF8) << id;
    } else {
      ++refused;
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(Contains(r.err, "damaged")) << r.err;
    }
  }
  EXPECT_GT(refused, 0u);
  const CliResult check = Run({"check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(Contains(check.out, "damaged")) << check.out;
  EXPECT_FALSE(Contains(check.out, " 0 damaged") && Contains(check.out, "storage: ok"));
}

// A small tmpfs for the tests that need media of their own; skipped where
// the test may not mount (not root, or no such privilege in a container).
class Mounted {
 public:
  Mounted(const std::string& path, const std::string& size) : path_(path) {
    fs::create_directory(path_);
    ok_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~Mounted() {
    if (ok_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool ok() const { return ok_; }
  bool ReadOnly() {
    return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool ok_ = false;
};

TEST_F(CliFileTest, ReadOnlyMediaAreReadAndWritesSayTheDatabaseIsReadOnly) {
  Prepare();
  Mounted media(dir_ + "/media", "8m");
  if (!media.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
  fs::copy_file(File(), dir_ + "/media/cli.db");
  ASSERT_TRUE(media.ReadOnly());
  const std::string db = "sqlite:" + dir_ + "/media/cli.db";
  const std::vector<std::string> expected = Records(db_);
  EXPECT_EQ(Records(db), expected);
  for (const std::vector<std::string>& read : {std::vector<std::string>{"collection", "list"},
                                               {"search", "c", "title like Creek"},
                                               {"check"},
                                               {"backup", dir_ + "/from-media.db"}}) {
    std::vector<std::string> args{"--db", db};
    args.insert(args.end(), read.begin(), read.end());
    const CliResult r = RunCli(args, dir_);
    EXPECT_EQ(r.status, 0) << read[0] << ": " << r.err;
  }
  for (const std::vector<std::string>& write : {std::vector<std::string>{"import", "c", kSamples},
                                                {"collection", "create", "d", "--schema", "fgdc"},
                                                {"rm", "c", "1"}}) {
    std::vector<std::string> args{"--db", db};
    args.insert(args.end(), write.begin(), write.end());
    const CliResult r = RunCli(args, dir_);
    EXPECT_EQ(r.status, 1) << write[0];
    EXPECT_TRUE(Contains(r.err, "is read-only")) << r.err;
  }
}

TEST_F(CliFileTest, AFullDiskStopsTheImportAndLeavesReadsWorking) {
  Mounted disk(dir_ + "/disk", "3m");
  if (!disk.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
  db_ = "sqlite:" + dir_ + "/disk/cli.db";
  for (const std::vector<std::string>& a : {std::vector<std::string>{"init"},
                                            {"schema", "add", "fgdc"},
                                            {"collection", "create", "c", "--schema", "fgdc"}}) {
    ASSERT_EQ(Run(a).status, 0);
  }
  std::vector<std::string> args{"import", "c"};
  for (int i = 0; i < 200; ++i) args.push_back(kSamples);
  const CliResult r = Run(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.out, "stopped: the disk is full")) << r.out;
  EXPECT_FALSE(Contains(r.out + r.err, "UNIQUE")) << r.out << r.err;
  EXPECT_LE(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
  const std::size_t stored = Ids(db_).size();
  EXPECT_TRUE(Contains(r.out, "stored " + std::to_string(stored) + " of 1000")) << r.out;
  EXPECT_EQ(Run({"check"}).status, 0);
  const CliResult exported = Run({"export", "c", dir_ + "/out"});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(static_cast<std::size_t>(
                std::distance(fs::directory_iterator(dir_ + "/out"), fs::directory_iterator())),
            stored);
}

TEST_F(CliFileTest, PathsAndArgumentsThatWereMisread) {
  Prepare();
  const std::string loop = dir_ + "/loop";
  fs::create_symlink(loop, loop);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;
  };
  const std::string missing = "sqlite:" + dir_ + "/missing.db";
  const Case cases[] = {
      {{"--db", "", "catalogs"}, 2, "--db needs a database"},
      {{"--db", missing, "list", "c"}, 1, "no database at"},
      {{"--db", missing, "search", "c", "title like x"}, 1, "run metashelf init"},
      {{"--db", db_, "import", "c", "/dev/null"}, 1, "not a regular file, pipe or folder"},
      {{"--db", db_, "import", "c", loop}, 1, "symbolic links"},
      {{"--db", db_, "import", "c", kSamples, "--batch", "0"},
       2,
       "--batch takes a whole number from 1 to"},
      {{"--db", db_, "get", "c", " 1"}, 2, "is not a record id"},
      {{"--db", db_, "get", "c", "+1"}, 2, "is not a record id"},
  };
  for (const Case& c : cases) {
    const CliResult r = RunCli(c.args, dir_);
    EXPECT_EQ(r.status, c.status) << c.args.back() << ": " << r.err;
    EXPECT_TRUE(Contains(r.err, c.said)) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ + "/missing.db"));
  EXPECT_FALSE(fs::exists(dir_ + "/metashelf.db"));
}

}  // namespace
