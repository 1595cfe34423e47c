// The data type names of schema texts and the value table each one uses.
#include "data_types.h"

namespace metashelf::model {
namespace {

constexpr std::string_view kIntegerTypes[] = {"integer",
                                              "int",
                                              "long",
                                              "short",
                                              "byte",
                                              "nonNegativeInteger",
                                              "positiveInteger",
                                              "negativeInteger",
                                              "nonPositiveInteger",
                                              "unsignedLong",
                                              "unsignedInt",
                                              "unsignedShort",
                                              "unsignedByte"};
constexpr std::string_view kFractionTypes[] = {"decimal", "float", "double"};
constexpr std::string_view kTextTypes[] = {
    "string", "normalizedString", "token",  "anyURI", "boolean",   "dateTime",     "time",
    "gYear",  "gYearMonth",       "gMonth", "gDay",   "gMonthDay", "duration",     "language",
    "Name",   "NCName",           "QName",  "ID",     "IDREF",     "base64Binary", "hexBinary",
    "NMTOKEN"};

}  // namespace

bool IsKnownDataType(std::string_view name) {
  for (auto t : kIntegerTypes)
    if (t == name) return true;
  for (auto t : kFractionTypes)
    if (t == name) return true;
  for (auto t : kTextTypes)
    if (t == name) return true;
  return name == "date";
}

bool IsIntegerDataType(std::string_view name) {
  for (auto t : kIntegerTypes)
    if (t == name) return true;
  return false;
}

short TableTypeOf(std::string_view dataType) {
  if (dataType == "date") return 3;
  for (auto t : kFractionTypes)
    if (t == dataType) return 2;
  if (IsIntegerDataType(dataType)) return 2;
  return 1;
}

}  // namespace metashelf::model
