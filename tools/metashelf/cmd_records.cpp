// Record commands: get (the rebuilt XML), export (every record to a folder),
// list, rm, update.
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "commands.h"
#include "file_io.h"
#include "progress.h"

namespace metashelf::cli {
namespace {

// The record rebuilt as XML; throws naming the record.
std::string RecordXml(Collection& collection, std::int64_t id) {
  CBaseMetaData record(&collection.schema());
  if (collection.set().GetMetaData(id, &record) != 1) {
    const std::string& why = record.LastError();
    const std::string what =
        "cannot read record " + std::to_string(id) + " of collection '" + collection.name() + "'";
    if (why.rfind("the record is damaged", 0) == 0)
      Fail(what + ": " + why + "; run metashelf check");
    // A record that exists but cannot be rebuilt: say when the file itself
    // is damaged.
    if (collection.session().db().CheckStorage(nullptr) != 1) {
      Fail(what + ": the database is damaged; run metashelf check");
    }
    Fail(what + (why.empty() ? std::string() : ": " + why));
  }
  std::string xml;
  if (record.ToXml(xml) != 1) {
    Fail(
        "cannot rebuild record " + std::to_string(id) + " of collection '" + collection.name() +
        "': " + record.LastError() +
        (record.LastError().rfind("the record is damaged", 0) == 0 ? "; run metashelf check" : ""));
  }
  return xml;
}

// Loads and checks a record file for writing; notes values kept inline.
std::unique_ptr<CBaseMetaData> LoadRecordFile(Collection& collection, const std::string& file) {
  const std::string data = ReadFile(file);
  auto record = std::make_unique<CBaseMetaData>(&collection.schema());
  if (record->LoadXml(data.data(), data.size()) != 1) {
    Fail(file + ": not a readable XML record: " + record->LastError());
  }
  for (const ValidationIssue& issue : record->Validate()) {
    std::cerr << file << ": kept inline, not searchable: " << issue.path << ": " << issue.reason
              << "\n";
  }
  return record;
}

int RunList(const Globals& globals, const std::string& name) {
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  const std::vector<std::int64_t> ids = collection.RecordIds();
  std::map<std::int64_t, std::string> titles;
  for (auto& [id, value] : collection.AliasValues("title")) titles.emplace(id, value);
  std::cout << "ID\tFILE\tTITLE\n";
  for (std::int64_t id : ids) {
    X_CLS_METAINFO info{};
    session.catalog().meta_GetInfo(id, &info);
    auto t = titles.find(id);
    std::cout << id << "\t" << (info.remark[0] != '\0' ? info.remark : "-") << "\t"
              << (t != titles.end() ? OneLine(t->second) : "") << "\n";
  }
  std::cerr << ids.size() << " record(s) in '" << name << "'\n";
  return 0;
}

int RunRemove(const Globals& globals, const std::string& name,
              const std::vector<std::string>& idTexts) {
  std::vector<std::int64_t> ids;
  for (const std::string& t : idTexts) ids.push_back(ParseRecordId(t));
  Session session(globals);
  Collection collection(session, name);
  for (std::int64_t id : ids) collection.RequireRecord(id);
  Transaction tx(session.db());
  for (std::int64_t id : ids) {
    if (collection.set().DelMetaData(id) != 1) {
      Fail("cannot remove record " + std::to_string(id) + " (nothing was removed)");
    }
  }
  tx.Commit();
  std::cout << "removed " << ids.size() << " record(s) from '" << name << "'\n";
  return 0;
}

int RunUpdate(const Globals& globals, const std::string& name, const std::string& idText,
              const std::string& file) {
  const std::int64_t id = ParseRecordId(idText);
  Session session(globals);
  Collection collection(session, name);
  collection.RequireRecord(id);
  auto record = LoadRecordFile(collection, file);
  Transaction tx(session.db());
  if (collection.set().UpdateMetaData(id, record.get()) != 1) {
    Fail("cannot replace record " + std::to_string(id) + " with " + file +
         " (the stored record is unchanged)");
  }
  std::string remark = std::filesystem::path(file).filename().string();
  session.catalog().meta_UpdateRemark(id, remark.data());
  tx.Commit();
  std::cout << "replaced record " << id << " of '" << name << "' with " << file << "\n";
  return 0;
}

}  // namespace

int RunGet(const Globals& globals, const std::string& name, const std::string& idText,
           const std::string& output) {
  const std::int64_t id = ParseRecordId(idText);
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  collection.RequireRecord(id);
  WriteFile(output.empty() ? "-" : output, RecordXml(collection, id));
  if (!output.empty() && output != "-") {
    std::cerr << "wrote record " << id << " to " << output << "\n";
  }
  return 0;
}

int RunExport(const Globals& globals, const std::string& name, const std::string& dir) {
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    Fail(dir + ": cannot create the folder" + (ec ? ": " + ec.message() : std::string()));
  }
  const std::vector<std::int64_t> ids = collection.RecordIds();
  Progress progress(std::cerr, ChooseProgressMode(globals.quiet, 2), ids.size(), "export");
  std::size_t done = 0;
  for (std::int64_t id : ids) {
    WriteFile((std::filesystem::path(dir) / (std::to_string(id) + ".xml")).string(),
              RecordXml(collection, id));
    progress.Update(++done);
  }
  progress.Finish();
  std::cout << "exported " << ids.size() << " record(s) of '" << name << "' to " << dir
            << " as ID.xml\n";
  return 0;
}

void AddRecordCommands(CLI::App& app, Globals& globals, Action& action) {
  struct Args {
    std::string collection, id, output, file;
    std::vector<std::string> ids;
  };

  auto get = std::make_shared<Args>();
  CLI::App* getCmd = app.add_subcommand("get", "print a record's XML, rebuilt from the database");
  getCmd->add_option("COLLECTION", get->collection, "collection name")->required();
  getCmd->add_option("ID", get->id, "record id")->required();
  getCmd->add_option("-o,--output", get->output, "write to FILE instead of standard output");
  getCmd->callback([&, get] {
    action = [&, get] { return RunGet(globals, get->collection, get->id, get->output); };
  });

  auto exp = std::make_shared<Args>();
  CLI::App* exportCmd = app.add_subcommand("export", "write every record to DIR as ID.xml");
  exportCmd->add_option("COLLECTION", exp->collection, "collection name")->required();
  exportCmd->add_option("DIR", exp->output, "folder (created when missing)")->required();
  exportCmd->callback(
      [&, exp] { action = [&, exp] { return RunExport(globals, exp->collection, exp->output); }; });

  auto list = std::make_shared<Args>();
  CLI::App* listCmd =
      app.add_subcommand("list", "list a collection's records: id, source file, title");
  listCmd->add_option("COLLECTION", list->collection, "collection name")->required();
  listCmd->callback(
      [&, list] { action = [&, list] { return RunList(globals, list->collection); }; });

  auto rm = std::make_shared<Args>();
  CLI::App* rmCmd = app.add_subcommand("rm", "remove records (all or none)");
  rmCmd->add_option("COLLECTION", rm->collection, "collection name")->required();
  rmCmd->add_option("ID", rm->ids, "record ids")->required();
  rmCmd->callback(
      [&, rm] { action = [&, rm] { return RunRemove(globals, rm->collection, rm->ids); }; });

  auto update = std::make_shared<Args>();
  CLI::App* updateCmd =
      app.add_subcommand("update", "replace a record with the record in FILE (same id)");
  updateCmd->add_option("COLLECTION", update->collection, "collection name")->required();
  updateCmd->add_option("ID", update->id, "record id")->required();
  updateCmd->add_option("FILE", update->file, "the new record")->required();
  updateCmd->callback([&, update] {
    action = [&, update] {
      return RunUpdate(globals, update->collection, update->id, update->file);
    };
  });
}

}  // namespace metashelf::cli
