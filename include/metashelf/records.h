// The fixed-layout records that cross the host interface: the catalog rows of
// a schema, a collection and a record, one node value, one search condition,
// and the driver's date record. Field orders and widths are part of the
// binary interface; the static_asserts below keep them from drifting.
#ifndef METASHELF_RECORDS_H_
#define METASHELF_RECORDS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "metashelf/oci_date.h"

// A schema's catalog row (schema_GetInfo). crtTime/modTime hold the driver's
// OCIDate bytes in a 10-byte field.
struct X_CLS_SCHEMA {
  std::int32_t schemaID;
  std::int32_t mtdbID;
  char schemaName[128];
  char owner[30];
  char remark[512];
  unsigned char crtTime[10];
  unsigned char modTime[10];
};
static_assert(offsetof(X_CLS_SCHEMA, schemaName) == 8, "X_CLS_SCHEMA layout");
static_assert(offsetof(X_CLS_SCHEMA, owner) == 136, "X_CLS_SCHEMA layout");
static_assert(offsetof(X_CLS_SCHEMA, remark) == 166, "X_CLS_SCHEMA layout");
static_assert(offsetof(X_CLS_SCHEMA, crtTime) == 678, "X_CLS_SCHEMA layout");
static_assert(offsetof(X_CLS_SCHEMA, modTime) == 688, "X_CLS_SCHEMA layout");
static_assert(sizeof(X_CLS_SCHEMA) == 700, "X_CLS_SCHEMA size");

// A collection's catalog row (mds_GetInfo). Dates as in X_CLS_SCHEMA.
struct X_CLS_MDS {
  std::int32_t colID;
  std::int32_t schemaID;
  char colName[128];
  char owner[30];
  char remark[512];
  unsigned char crtTime[10];
  unsigned char modTime[10];
};
static_assert(offsetof(X_CLS_MDS, colName) == 8, "X_CLS_MDS layout");
static_assert(offsetof(X_CLS_MDS, remark) == 166, "X_CLS_MDS layout");
static_assert(sizeof(X_CLS_MDS) == 700, "X_CLS_MDS size");

// A record's catalog row (meta_GetInfo). crtTime/modTime use the packed
// form:
//
//   offset 0      2                          4     5     6........10
//          +------+--------------------------+-----+-----+----------+
//          | year | month 0-3|day 4-9|hr 10-15| min | sec | zero     |
//          +------+--------------------------+-----+-----+----------+
struct X_CLS_METAINFO {
  std::int64_t metaID;
  std::int32_t colID;
  char owner[30];
  char remark[512];
  unsigned char crtTime[10];
  unsigned char modTime[10];
};
static_assert(offsetof(X_CLS_METAINFO, colID) == 8, "X_CLS_METAINFO layout");
static_assert(offsetof(X_CLS_METAINFO, owner) == 12, "X_CLS_METAINFO layout");
static_assert(offsetof(X_CLS_METAINFO, remark) == 42, "X_CLS_METAINFO layout");
static_assert(offsetof(X_CLS_METAINFO, crtTime) == 554, "X_CLS_METAINFO layout");
static_assert(offsetof(X_CLS_METAINFO, modTime) == 564, "X_CLS_METAINFO layout");
static_assert(sizeof(X_CLS_METAINFO) == 576, "X_CLS_METAINFO size");

// One stored value of a node with the id of the record that holds it
// (GetNodeDataByGuid). Only the field of the requested kind is filled. A
// number node's empty value is stored as NULL and reported as a quiet NaN
// in numberValue (std::isnan tells it from any stored number, 0 included:
// stored numbers are always finite).
struct NodeDataStrcT {
  std::int64_t metaID;
  char textValue[512];
  double numberValue;
  char dateValue[16];
};
static_assert(offsetof(NodeDataStrcT, textValue) == 8, "NodeDataStrcT layout");
static_assert(offsetof(NodeDataStrcT, numberValue) == 520, "NodeDataStrcT layout");
static_assert(offsetof(NodeDataStrcT, dateValue) == 528, "NodeDataStrcT layout");
static_assert(sizeof(NodeDataStrcT) == 544, "NodeDataStrcT size");

// One numbered search condition (SearchMetaData). The spare fields are the
// host's own and never read.
struct SearchNode {
  std::int32_t condID = 0;
  std::string spare1;
  std::string spare2;
  std::string nodePath;
  std::string spare3;
  std::string op;
  std::string value1;
  std::string value2;
  std::int16_t spareShort = 0;
};

#endif  // METASHELF_RECORDS_H_
