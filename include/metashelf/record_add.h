// Adding a record with its remark in one step. A host that keeps a remark
// with each record (the tool keeps the file name) would otherwise add the
// record and then set the remark: two writes, and on PostgreSQL two waits
// for the server. Here the remark is registered with the record, in the
// record's own unit of work.
#ifndef METASHELF_RECORD_ADD_H_
#define METASHELF_RECORD_ADD_H_

#include <cstdint>

#include "metashelf/export.h"
#include "metashelf/interfaces.h"

// Adds `record` to the opened `set` as AddMetaData does, registering it
// with `remark` (null or empty: no remark). Results as AddMetaData's: the
// new record id, 0 when the record was refused or a write failed (nothing
// of it is left behind, remark included), -1 when the set is not open or
// not one of this library's sets. A remark the catalog refuses (on
// PostgreSQL one over 512 characters) fails the whole add: a host that
// wants the record stored regardless adds it again without the remark.
METASHELF_API std::int64_t MsAddMetaData(CMetaDataSet_abs* set, CBaseMetaData* record,
                                         const char* remark);

#endif  // METASHELF_RECORD_ADD_H_
