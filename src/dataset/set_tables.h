// The statements that create and drop a collection's five tables and their
// indexes, for owner `owner` and collection `colID`, in the order they run.
#ifndef METASHELF_SRC_DATASET_SET_TABLES_H_
#define METASHELF_SRC_DATASET_SET_TABLES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace metashelf {
namespace dataset {

// The five CREATE TABLE statements, then CREATE INDEX on MetaID of each
// table (index name: table name + "_ID") and on (NODEGUID, NODEVALUE) of
// the three value tables (table name + "_NV").
std::vector<std::string> CreateSetStatements(const char* owner, std::int32_t colID);

// CREATE INDEX on (NODEGUID, NODEVALUE) of the three value tables, the last
// three statements of CreateSetStatements.
std::vector<std::string> CreateValueIndexStatements(const char* owner, std::int32_t colID);

// DROP INDEX of those three indexes, in the same order.
std::vector<std::string> DropValueIndexStatements(const char* owner, std::int32_t colID);

// The five DROP TABLE statements (indexes go with their tables) and the
// delete of the collection's record registrations.
std::vector<std::string> RemoveSetStatements(const char* owner, std::int32_t colID);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_SET_TABLES_H_
