// The database as a file: upgrade (the older several-file SQLite layout
// into one file), backup (a consistent copy while others work) and check
// (the engine's own check, then every record of the catalog rebuilt and
// parsed).
#include <iostream>
#include <memory>

#include "commands.h"

namespace metashelf::cli {
namespace {

int RunUpgrade(const Globals& globals) {
  const std::string uri = globals.db.empty() ? CHostDataBase::DefaultUri() : globals.db;
  std::string report, error;
  if (!CHostDataBase::Upgrade(uri, &report, &error)) Fail("cannot upgrade: " + error);
  std::cout << report << "\n";
  return 0;
}

int RunBackup(const Globals& globals, const std::string& destination) {
  Session session(globals, Access::kRead);
  if (session.db().Backup(destination.c_str()) != 1) {
    Fail("cannot back up " + session.uri() + ": " + session.db().LastError());
  }
  std::cout << "copied " << session.uri() << " to " << destination << "\n";
  return 0;
}

// Every record of every collection of the catalog, rebuilt and parsed.
// Returns how many were damaged; names each on standard error.
std::size_t CheckRecords(Session& session, std::size_t* checked) {
  std::size_t damaged = 0;
  for (std::int32_t colId : session.CollectionIds()) {
    char name[256] = {};
    if (session.catalog().mds_GetName(colId, name, sizeof name) != 1) {
      std::cerr << "collection " << colId << ": cannot read its name\n";
      ++damaged;
      continue;
    }
    std::unique_ptr<Collection> collection;
    try {
      collection = std::make_unique<Collection>(session, name);
    } catch (const ToolError& e) {
      std::cerr << "collection '" << name << "': " << e.what() << "\n";
      ++damaged;
      continue;
    }
    for (std::int64_t id : collection->RecordIds()) {
      ++*checked;
      CBaseMetaData record(&collection->schema());
      std::string xml;
      if (collection->set().GetMetaData(id, &record) != 1 || record.ToXml(xml) != 1) {
        ++damaged;
        std::cerr << "record " << id << " of '" << name
                  << "': " << (record.LastError().empty() ? "cannot be read" : record.LastError())
                  << "\n";
      }
    }
  }
  return damaged;
}

int RunCheck(const Globals& globals) {
  Session session(globals, Access::kRead);
  std::vector<std::string> problems;
  const bool whole = session.db().CheckStorage(&problems) == 1;
  for (const std::string& p : problems) std::cerr << "storage: " << p << "\n";
  std::size_t checked = 0;
  std::size_t damaged = 0;
  std::string unreadable;
  try {
    damaged = CheckRecords(session, &checked);
  } catch (const ToolError& e) {
    unreadable = e.what();
  }
  std::cout << "storage: " << (whole ? "ok" : std::to_string(problems.size()) + " problem(s)")
            << "; records: " << checked << " checked, " << damaged << " damaged";
  if (!unreadable.empty()) std::cout << "; the catalog could not be read whole: " << unreadable;
  std::cout << "\n";
  return whole && damaged == 0 && unreadable.empty() ? 0 : kExitFailure;
}

}  // namespace

void AddFileCommands(CLI::App& app, Globals& globals, Action& action) {
  app.add_subcommand("upgrade",
                     "convert a SQLite database of the older layout of several files into one file")
      ->callback([&] { action = [&] { return RunUpgrade(globals); }; });

  auto destination = std::make_shared<std::string>();
  CLI::App* backup = app.add_subcommand(
      "backup", "write a consistent copy of the database to the new file DEST, while others work");
  backup->add_option("DEST", *destination, "the copy's file (must not exist)")->required();
  backup->callback(
      [&, destination] { action = [&, destination] { return RunBackup(globals, *destination); }; });

  app.add_subcommand("check",
                     "check the database file and rebuild every record of the catalog; exit 1 when "
                     "anything is damaged")
      ->callback([&] { action = [&] { return RunCheck(globals); }; });
}

}  // namespace metashelf::cli
