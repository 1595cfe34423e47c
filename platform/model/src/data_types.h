// The data type names of schema texts and their table types.
#ifndef METASHELF_MODEL_DATA_TYPES_H_
#define METASHELF_MODEL_DATA_TYPES_H_

#include <string_view>

namespace metashelf::model {

// Data type names of schema texts.
bool IsKnownDataType(std::string_view name);
bool IsIntegerDataType(std::string_view name);
// 2 for number types, 3 for "date", 1 for every other type (and for
// compound nodes, which have none).
short TableTypeOf(std::string_view dataType);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_DATA_TYPES_H_
