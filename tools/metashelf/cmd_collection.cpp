// Collection commands: create (on a schema), list (with record counts), rm.
#include <iostream>
#include <memory>

#include "commands.h"

namespace metashelf::cli {

int RunCollectionCreate(const Globals& globals, const std::string& name, const std::string& schema,
                        const std::string& remark) {
  if (name.empty()) UsageFail("collection create: the name is empty");
  Session session(globals);
  std::string registered;
  const std::int32_t schemaId = session.RequireSchema(schema, &registered);
  if (session.catalog().mds_IsExist(name.c_str()) == 1) {
    Fail("collection '" + name + "' already exists");
  }
  CMetaDataSet_abs* object = nullptr;
  if (NewMds(&object) != 1) Fail("cannot create a collection object");
  SetPtr set(object);
  Transaction tx(session.db());
  const std::int32_t id = set->Create(&session.catalog(), schemaId, name.c_str(),
                                      remark.empty() ? nullptr : remark.c_str());
  if (id <= 0) Fail("cannot create collection '" + name + "'");
  // A collection whose tables were not all made cannot be opened: check
  // before keeping it.
  if (set->Open(&session.catalog(), id) != 1) Fail("cannot create collection '" + name + "'");
  std::int32_t count = -1;
  if (set->GetNum(&count) != 1) Fail("cannot create the tables of collection '" + name + "'");
  set->Close();
  tx.Commit();
  std::cout << "created collection '" << name << "' (id " << id << ") on schema '" << registered
            << "'\n";
  return 0;
}

int RunCollectionList(const Globals& globals) {
  Session session(globals, Access::kRead);
  const std::vector<std::int32_t> ids = session.CollectionIds();
  if (ids.empty()) {
    std::cout << "no collections in catalog '" << globals.catalog
              << "' (create one with: metashelf collection create NAME --schema fgdc)\n";
    return 0;
  }
  std::cout << "ID\tCOLLECTION\tSCHEMA\tRECORDS\tREMARK\n";
  for (std::int32_t id : ids) {
    X_CLS_MDS info{};
    if (session.catalog().mds_GetInfo(id, &info) != 1) {
      Fail("cannot read collection " + std::to_string(id));
    }
    std::int32_t records = 0;
    if (session.catalog().meta_GetNum(id, &records) != 1) records = 0;
    std::cout << id << "\t" << info.colName << "\t" << session.SchemaName(info.schemaID) << "\t"
              << records << "\t" << info.remark << "\n";
  }
  return 0;
}

namespace {

int RunCollectionRemove(const Globals& globals, const std::string& name) {
  Session session(globals);
  const std::int32_t id = session.FindCollection(name);
  if (id <= 0) Fail("no collection '" + name + "' in catalog '" + globals.catalog + "'");
  std::int32_t records = 0;
  session.catalog().meta_GetNum(id, &records);
  CMetaDataSet_abs* object = nullptr;
  if (NewMds(&object) != 1) Fail("cannot create a collection object");
  SetPtr set(object);
  Transaction tx(session.db());
  if (set->Remove(&session.catalog(), id) != 1) Fail("cannot remove collection '" + name + "'");
  tx.Commit();
  std::cout << "removed collection '" << name << "' and its " << records << " record(s)\n";
  return 0;
}

}  // namespace

void AddCollectionCommands(CLI::App& app, Globals& globals, Action& action) {
  CLI::App* collection = app.add_subcommand("collection", "create, list and remove collections");
  collection->require_subcommand(1);

  struct CreateArgs {
    std::string name, schema, remark;
  };
  auto create = std::make_shared<CreateArgs>();
  CLI::App* createCmd = collection->add_subcommand("create", "create a collection on a schema");
  createCmd->add_option("NAME", create->name, "collection name")->required();
  createCmd->add_option("--schema", create->schema, "schema name (fgdc, iso19139 or registered)")
      ->required();
  createCmd->add_option("--remark", create->remark, "free text kept with the collection");
  createCmd->callback([&, create] {
    action = [&, create] {
      return RunCollectionCreate(globals, create->name, create->schema, create->remark);
    };
  });

  collection->add_subcommand("list", "list the collections with their record counts")
      ->callback([&] { action = [&] { return RunCollectionList(globals); }; });

  auto rmName = std::make_shared<std::string>();
  CLI::App* rm = collection->add_subcommand("rm", "remove a collection and all its records");
  rm->add_option("NAME", *rmName, "collection name")->required();
  rm->callback(
      [&, rmName] { action = [&, rmName] { return RunCollectionRemove(globals, *rmName); }; });
}

}  // namespace metashelf::cli
