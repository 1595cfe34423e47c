// What the tool ships beside it: the schema texts of FGDC CSDGM and ISO 19139
// (data/schemas) and the demonstration's sample records (data/samples), and
// where to find them.
//
// The shipped schemas are registered under the names by which metadata sets
// pick their synchroniser family: "KORVEN_FGDC" (family 1, FGDC paths) and
// "KORVEN_ISO" (family 2, ISO 19139 paths). Users call them by their short
// names, "fgdc" and "iso19139" (or "iso"); wherever the tool takes a schema
// name, a short name stands for the registered one.
#ifndef METASHELF_TOOLS_SHIPPED_H_
#define METASHELF_TOOLS_SHIPPED_H_

#include <string>
#include <vector>

namespace metashelf::cli {

struct ShippedSchema {
  const char* shortName;       // "fgdc"
  const char* registeredName;  // "KORVEN_FGDC"
  const char* file;            // file name under data/schemas
  const char* description;
};

const std::vector<ShippedSchema>& ShippedSchemas();

// The shipped schema that `name` names (short name in any case, "iso", or
// the registered name); null for any other name.
const ShippedSchema* FindShippedSchema(const std::string& name);

// The folder that holds schemas/ and samples/: $METASHELF_DATA_DIR, the
// source tree's data/, the installed share/metashelf, or share/metashelf
// beside the executable. Throws ToolError when none exists.
std::string DataDir();

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_SHIPPED_H_
