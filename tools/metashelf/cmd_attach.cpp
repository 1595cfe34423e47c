// Attachment commands: attach (store or replace a record's one attachment),
// detach, attachment (write it to a file).
#include <iostream>
#include <limits>
#include <memory>

#include "commands.h"
#include "file_io.h"

namespace metashelf::cli {
namespace {

int RunAttach(const Globals& globals, const std::string& name, const std::string& idText,
              const std::string& file) {
  const std::int64_t id = ParseRecordId(idText);
  std::string data = ReadFile(file);
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    Fail(file + ": too large for an attachment (2 GiB at most)");
  }
  Session session(globals);
  Collection collection(session, name);
  collection.RequireRecord(id);
  std::int32_t size = 0;
  const bool exists = collection.set().GetMetaAdditionalSize(id, size) == 1;
  Transaction tx(session.db());
  const auto length = static_cast<std::int32_t>(data.size());
  const std::int32_t result = exists
                                  ? collection.set().UpdateMetaAdditional(id, data.data(), length)
                                  : collection.set().AddMetaAdditional(id, data.data(), length);
  if (result != 1) {
    Fail("cannot store " + file + " as the attachment of record " + std::to_string(id));
  }
  tx.Commit();
  std::cout << (exists ? "replaced" : "stored") << " the attachment of record " << id << " ("
            << data.size() << " bytes from " << file << ")\n";
  return 0;
}

int RunDetach(const Globals& globals, const std::string& name, const std::string& idText) {
  const std::int64_t id = ParseRecordId(idText);
  Session session(globals);
  Collection collection(session, name);
  collection.RequireRecord(id);
  std::int32_t size = 0;
  if (collection.set().GetMetaAdditionalSize(id, size) != 1) {
    Fail("record " + std::to_string(id) + " has no attachment");
  }
  Transaction tx(session.db());
  if (collection.set().DelMetaAdditional(id) != 1) {
    Fail("cannot remove the attachment of record " + std::to_string(id));
  }
  tx.Commit();
  std::cout << "removed the attachment of record " << id << "\n";
  return 0;
}

int RunAttachment(const Globals& globals, const std::string& name, const std::string& idText,
                  const std::string& output) {
  const std::int64_t id = ParseRecordId(idText);
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  collection.RequireRecord(id);
  std::int32_t size = 0;
  if (collection.set().GetMetaAdditionalSize(id, size) != 1) {
    Fail("record " + std::to_string(id) + " has no attachment");
  }
  std::string data(static_cast<std::size_t>(std::max<std::int32_t>(size, 0)), '\0');
  if (size > 0 && collection.set().GetMetaAdditional(id, data.data(), size) != 1) {
    Fail("cannot read the attachment of record " + std::to_string(id));
  }
  WriteFile(output, data);
  if (output != "-") std::cerr << "wrote " << size << " bytes to " << output << "\n";
  return 0;
}

}  // namespace

void AddAttachmentCommands(CLI::App& app, Globals& globals, Action& action) {
  struct Args {
    std::string collection, id, file;
  };
  auto attach = std::make_shared<Args>();
  CLI::App* attachCmd = app.add_subcommand(
      "attach", "store FILE as the record's attachment (replacing the one it has)");
  attachCmd->add_option("COLLECTION", attach->collection, "collection name")->required();
  attachCmd->add_option("ID", attach->id, "record id")->required();
  attachCmd->add_option("FILE", attach->file, "any file")->required();
  attachCmd->callback([&, attach] {
    action = [&, attach] {
      return RunAttach(globals, attach->collection, attach->id, attach->file);
    };
  });

  auto detach = std::make_shared<Args>();
  CLI::App* detachCmd = app.add_subcommand("detach", "remove the record's attachment");
  detachCmd->add_option("COLLECTION", detach->collection, "collection name")->required();
  detachCmd->add_option("ID", detach->id, "record id")->required();
  detachCmd->callback([&, detach] {
    action = [&, detach] { return RunDetach(globals, detach->collection, detach->id); };
  });

  auto get = std::make_shared<Args>();
  CLI::App* getCmd = app.add_subcommand("attachment", "write the record's attachment to a file");
  getCmd->add_option("COLLECTION", get->collection, "collection name")->required();
  getCmd->add_option("ID", get->id, "record id")->required();
  getCmd->add_option("-o,--output", get->file, "file to write (- for standard output)")->required();
  getCmd->callback([&, get] {
    action = [&, get] { return RunAttachment(globals, get->collection, get->id, get->file); };
  });
}

}  // namespace metashelf::cli
