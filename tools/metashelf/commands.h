// The commands of the tool: each group registers its subcommands on the
// CLI11 application, and each command is a Run function that the
// demonstration can call as well. A Run function returns the exit status or
// throws ToolError.
#ifndef METASHELF_TOOLS_COMMANDS_H_
#define METASHELF_TOOLS_COMMANDS_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace metashelf::cli {

// The command chosen on the command line, run after parsing.
using Action = std::function<int()>;

void AddCatalogCommands(CLI::App& app, Globals& globals, Action& action);
void AddSchemaCommands(CLI::App& app, Globals& globals, Action& action);
void AddCollectionCommands(CLI::App& app, Globals& globals, Action& action);
void AddImportCommand(CLI::App& app, Globals& globals, Action& action);
void AddRecordCommands(CLI::App& app, Globals& globals, Action& action);
void AddSearchCommands(CLI::App& app, Globals& globals, Action& action);
void AddAttachmentCommands(CLI::App& app, Globals& globals, Action& action);
void AddMapCommand(CLI::App& app, Globals& globals, Action& action);
void AddDemoCommand(CLI::App& app, Globals& globals, Action& action);
void AddFileCommands(CLI::App& app, Globals& globals, Action& action);
void AddServeCommand(CLI::App& app, Globals& globals, Action& action);

int RunInit(const Globals& globals);
int RunSchemaAdd(const Globals& globals, const std::string& name, const std::string& file,
                 const std::string& remark);
int RunCollectionCreate(const Globals& globals, const std::string& name, const std::string& schema,
                        const std::string& remark);
int RunCollectionList(const Globals& globals);

struct ImportOptions {
  std::string collection;
  std::vector<std::string> paths;
  // Records per transaction. A failed batch is retried record by record, so
  // each record is stored or refused on its own as with a transaction each;
  // committing 256 at a time writes each touched index page once per batch
  // rather than once per record (3.5x faster on SQLite).
  int batch = 256;
  // "auto", "after" or "in-place": when the value indexes are built
  // (index_plan.h).
  std::string valueIndexes = "auto";
  // Connections that write at once (writer_pool.h); 0: as many as the
  // backend's policy says (MsGetWriterPolicy).
  int writers = 0;
  // Import without the search indexes (value_indexes.h): they are
  // dropped, and the first search builds them.
  bool noSearchIndexes = false;
  bool remarks = true;      // keep each record's file name as its remark
  bool quietNotes = false;  // no notes on values kept inline
};
int RunImport(const Globals& globals, const ImportOptions& options);

int RunGet(const Globals& globals, const std::string& collection, const std::string& id,
           const std::string& output);
int RunExport(const Globals& globals, const std::string& collection, const std::string& dir);

struct SearchOptions {
  std::string collection;
  std::string query;
  bool json = false;
  bool sql = false;
  std::string order = "id";  // "id" or "score"
  std::int32_t limit = 0;    // 0: every match
};
int RunSearch(const Globals& globals, const SearchOptions& options);
// Builds the collection's search indexes when they are not complete.
void EnsureSearchIndexes(Collection& collection);
// Makes sure collection `name` has its search indexes, building them on a
// session of its own that may write; false when the database cannot be
// written (searches then go without them).
bool PrepareSearchIndexes(const Globals& globals, const std::string& name);
// The records `parsed` finds: through the search indexes when `indexed`,
// otherwise through the value tables alone (free text and boxes refused).
void FindRecords(Collection& collection, const ParsedQuery& parsed, bool indexed,
                 const MsSearchOptions& options, std::vector<MsSearchHit>* hits,
                 std::int32_t* total);

int RunMap(const Globals& globals, const std::string& collection, const std::string& output,
           const std::string& query);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_COMMANDS_H_
