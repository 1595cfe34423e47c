// demo: the main job from start to end on a fresh embedded database, with
// the sample records shipped in data/samples, told in plain words. Every
// step runs the same code as the command it shows.
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

#include "commands.h"
#include "file_io.h"
#include "shipped.h"

namespace metashelf::cli {
namespace {
namespace fs = std::filesystem;

class Demo {
 public:
  Demo(const Globals& base, const fs::path& dir) : dir_(dir) {
    globals_ = base;
    globals_.db = "sqlite:" + (dir / "demo.db").string();
    globals_.catalog = "default";
  }

  // Prints what the step does and the command that does it, then runs it.
  void Step(const std::string& what, const std::string& command, const std::function<int()>& run) {
    ++step_;
    if (!what.empty()) std::cout << "\n== " << what << "\n";
    std::cout << "$ metashelf " << command << "\n";
    std::cout.flush();
    const int status = run();
    std::cout.flush();
    if (status == 0) return;
    // An interrupted step (128 + the signal) ends the demonstration with
    // its own status, as the command alone would.
    throw ToolError(status > 128 ? status : kExitFailure,
                    "the demonstration stopped at step " + std::to_string(step_));
  }

  const Globals& globals() const { return globals_; }
  const fs::path& dir() const { return dir_; }

 private:
  Globals globals_;
  fs::path dir_;
  int step_ = 0;
};

// The first record of a collection.
std::int64_t FirstRecord(const Globals& globals, const std::string& collectionName) {
  Session session(globals, Access::kCreate);
  Collection collection(session, collectionName);
  const std::vector<std::int64_t> ids = collection.RecordIds();
  if (ids.empty()) Fail("collection '" + collectionName + "' has no records");
  return ids.front();
}

// Writes record `id` to `exported` and compares it with the file it was
// imported from (its remark names the file).
int ShowRoundTrip(const Globals& globals, const std::string& collectionName, std::int64_t id,
                  const fs::path& samples, const fs::path& exported) {
  const int status = RunGet(globals, collectionName, std::to_string(id), exported.string());
  Session session(globals, Access::kCreate);
  X_CLS_METAINFO info{};
  session.catalog().meta_GetInfo(id, &info);
  const fs::path original = samples / info.remark;
  if (info.remark[0] != '\0' && fs::exists(original)) {
    const bool same = ReadFile(exported.string()) == ReadFile(original.string());
    std::cout << "record " << id << " was imported from " << original.string() << "; "
              << exported.filename().string()
              << (same ? " is byte for byte the same file.\n" : " differs from it.\n");
    if (!same) return kExitFailure;
  }
  return status;
}

int RunDemo(const Globals& base, const std::string& dirText) {
  const fs::path dir = dirText.empty() ? fs::current_path() : fs::path(dirText);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (fs::exists(dir / "demo.db")) {
    Fail((dir / "demo.db").string() +
         " already exists: the demonstration needs a fresh folder (give --dir DIR)");
  }
  const fs::path samples = fs::path(DataDir()) / "samples";
  const fs::path fgdc = samples / "fgdc";
  const fs::path iso = samples / "iso19139";
  Demo demo(base, dir);
  const Globals& g = demo.globals();
  const std::string db = "--db " + g.db + " ";

  std::cout << "metashelf demonstration: a fresh embedded (SQLite) database in " << dir.string()
            << ",\nfilled with the sample FGDC and ISO 19139 records shipped in "
            << samples.string() << ".\n";

  demo.Step("Create the database file and a catalog named \"default\" in it.", db + "init",
            [&] { return RunInit(g); });
  demo.Step("Register the shipped FGDC schema (it becomes KORVEN_FGDC).", db + "schema add fgdc",
            [&] { return RunSchemaAdd(g, "fgdc", "", "FGDC CSDGM, shipped with metashelf"); });
  demo.Step("Register the shipped ISO 19139 schema (it becomes KORVEN_ISO).",
            db + "schema add iso19139",
            [&] { return RunSchemaAdd(g, "iso19139", "", "ISO 19139, shipped with metashelf"); });
  demo.Step("Create one collection per standard.",
            db + "collection create fgdc-samples --schema fgdc",
            [&] { return RunCollectionCreate(g, "fgdc-samples", "fgdc", "sample FGDC records"); });
  demo.Step("", db + "collection create iso-samples --schema iso19139", [&] {
    return RunCollectionCreate(g, "iso-samples", "iso19139", "sample ISO records");
  });
  demo.Step("Import the FGDC samples: each record is checked, then stored in a transaction.",
            db + "import fgdc-samples " + fgdc.string(), [&] {
              ImportOptions o;
              o.collection = "fgdc-samples";
              o.paths = {fgdc.string()};
              return RunImport(g, o);
            });
  demo.Step("Import the ISO samples, ten records per transaction.",
            db + "import iso-samples --batch 10 " + iso.string(), [&] {
              ImportOptions o;
              o.collection = "iso-samples";
              o.paths = {iso.string()};
              o.batch = 10;
              return RunImport(g, o);
            });
  demo.Step("List the collections with their record counts.", db + "collection list",
            [&] { return RunCollectionList(g); });
  demo.Step(
      "Search the FGDC records whose abstract mentions water (like is case-sensitive).",
      db + "search fgdc-samples 'abstract like water'", [&] {
        return RunSearch(g, SearchOptions{"fgdc-samples", "abstract like water", false, false});
      });
  const std::string q2 = "keyword = Hydrology and (westbc >= -110 or northbc > 45)";
  demo.Step("Search with a combination: hydrology records east of 110 W or north of 45 N.",
            db + "search fgdc-samples '" + q2 + "'", [&] {
              return RunSearch(g, SearchOptions{"fgdc-samples", q2, false, false});
            });
  const std::string q3 = "keyword = Water or title like River";
  demo.Step("Search the ISO records, for machines (JSON).",
            db + "search iso-samples --json '" + q3 + "'", [&] {
              return RunSearch(g, SearchOptions{"iso-samples", q3, true, false});
            });
  const std::int64_t first = FirstRecord(g, "fgdc-samples");
  const fs::path exported = dir / (std::to_string(first) + ".xml");
  demo.Step("Export one record and compare it with the file it came from.",
            db + "get fgdc-samples " + std::to_string(first) + " -o " + exported.string(),
            [&] { return ShowRoundTrip(g, "fgdc-samples", first, fgdc, exported); });
  const fs::path map = dir / "map.svg";
  demo.Step("Draw the FGDC records' bounding boxes on a map.",
            db + "map fgdc-samples -o " + map.string(),
            [&] { return RunMap(g, "fgdc-samples", map.string(), ""); });
  std::cout << "\nDone. The database is " << (dir / "demo.db").string() << "; open " << map.string()
            << " in a browser to see the map.\n";
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app, Globals& globals, Action& action) {
  auto dir = std::make_shared<std::string>();
  CLI::App* demo = app.add_subcommand(
      "demo", "run the main job on a fresh embedded database with the shipped sample records");
  demo->add_option("--dir", *dir, "folder to work in (default: the current folder)");
  demo->callback([&, dir] { action = [&, dir] { return RunDemo(globals, *dir); }; });
}

}  // namespace metashelf::cli
