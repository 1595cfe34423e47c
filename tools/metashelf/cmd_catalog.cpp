// Catalog commands: init (database and catalog), catalogs, drop-catalog.
#include <iostream>
#include <memory>

#include "commands.h"

namespace metashelf::cli {

int RunInit(const Globals& globals) {
  Session session(globals, Access::kCreate);
  CHostDataBase& db = session.db();
  if (const std::int32_t existing = db.FindMtdb(globals.catalog.c_str()); existing > 0) {
    std::cout << "catalog '" << globals.catalog << "' (id " << existing << ") already exists in "
              << session.uri() << "\n";
    return 0;
  }
  Transaction tx(db);
  const std::int32_t id = db.db_CreateMtdb(globals.catalog.c_str());
  if (id <= 0) {
    Fail("cannot create catalog '" + globals.catalog + "' in " + session.uri() +
         (db.LastError().empty() ? std::string() : ": " + db.LastError()));
  }
  tx.Commit();
  std::cout << "created catalog '" << globals.catalog << "' (id " << id << ") in " << session.uri()
            << "\n";
  return 0;
}

namespace {

int RunCatalogs(const Globals& globals) {
  Session session(globals, Access::kRead);
  const auto catalogs = session.db().ListMtdbs();
  if (catalogs.empty()) {
    std::cout << "no catalogs in " << session.uri() << " (create one with: metashelf init)\n";
    return 0;
  }
  std::cout << "ID\tCATALOG\n";
  for (const auto& [id, name] : catalogs) std::cout << id << "\t" << name << "\n";
  return 0;
}

int RunDropCatalog(Globals globals, const std::string& name, bool force) {
  globals.catalog = name;
  Session session(globals);
  const std::int32_t id = session.catalogId();
  const std::vector<std::int32_t> collections = session.CollectionIds();
  if (!collections.empty() && !force) {
    Fail("catalog '" + name + "' still has " + std::to_string(collections.size()) +
         " collection(s); remove them first or give --force");
  }
  Transaction tx(session.db());
  for (std::int32_t colId : collections) {
    CMetaDataSet_abs* object = nullptr;
    if (NewMds(&object) != 1) Fail("cannot create a collection object");
    SetPtr set(object);
    if (set->Remove(&session.catalog(), colId) != 1) {
      Fail("cannot remove collection " + std::to_string(colId) + " of catalog '" + name + "'");
    }
  }
  CMetaDataBase_abs* object = nullptr;
  if (NewMdb(&object) != 1) Fail("cannot create a catalog object");
  CatalogPtr remover(object);
  const std::int32_t result = remover->mtdb_Remove(&session.db(), id);
  remover->mtdb_Close();
  if (result != 1) Fail("cannot remove catalog '" + name + "'");
  tx.Commit();
  std::cout << "removed catalog '" << name << "'";
  if (!collections.empty()) std::cout << " and its " << collections.size() << " collection(s)";
  std::cout << "\n";
  return 0;
}

}  // namespace

void AddCatalogCommands(CLI::App& app, Globals& globals, Action& action) {
  CLI::App* init = app.add_subcommand(
      "init",
      "create the database (when missing) and a catalog in it (--catalog, default "
      "\"default\")");
  init->callback([&] { action = [&] { return RunInit(globals); }; });

  CLI::App* list = app.add_subcommand("catalogs", "list the catalogs of the database");
  list->callback([&] { action = [&] { return RunCatalogs(globals); }; });

  auto name = std::make_shared<std::string>();
  auto force = std::make_shared<bool>(false);
  CLI::App* drop = app.add_subcommand(
      "drop-catalog", "remove a catalog with its schemas (and, with --force, its collections)");
  drop->add_option("NAME", *name, "catalog to remove")->required();
  drop->add_flag("--force", *force, "also remove the catalog's collections and their records");
  drop->callback([&, name, force] {
    action = [&, name, force] { return RunDropCatalog(globals, *name, *force); };
  });
}

}  // namespace metashelf::cli
