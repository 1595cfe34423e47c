// Writing one collection through several connections at once, for hosts
// that load many records. Each writer is a database object of its own
// (CHostDataBase::Open on the same URI) with its own catalog and set objects
// opened on it and its own transactions; the library keeps no state between
// objects, so threads may each use their own objects at the same time, as
// long as no object (database, catalog, set, record) is used by two threads
// at once. A record loaded for one set's schema may be added through another
// set of the same collection: the set that writes it takes the record's
// parts and looks its nodes up in its own schema.
//
// Ids come from the database's sequence, so they stay distinct across
// writers, but the order in which records get them no longer follows the
// order in which a host hands records to the writers.
//
// Whether several writers gain anything is the backend's to say: on SQLite
// one transaction writes at a time and a second writer only waits for the
// first; on PostgreSQL each connection has a server process of its own.
//
//   MsWriterPolicy policy;
//   int writers = MsGetWriterPolicy(set, &policy) == 1 ? policy.writers : 1;
//
// No function throws; each returns 1 on success and 0 on failure (a null or
// unopened set, a set not made by NewMds).
#ifndef METASHELF_WRITER_POLICY_H_
#define METASHELF_WRITER_POLICY_H_

#include <cstdint>

#include "metashelf/export.h"

class CMetaDataSet_abs;

// What the backend under a set says about writing its records through
// several connections at once.
struct MsWriterPolicy {
  // The writers a large import runs by default: 1 where the engine writes
  // one transaction at a time (SQLite), 2 on PostgreSQL (a server process
  // per connection, each on a core of its own; the host that reads and
  // checks the records keeps a third busy).
  std::int32_t writers = 1;
  // The most writers that write at once rather than wait for each other:
  // 1 on SQLite; 0 on PostgreSQL, where the limit is the server's (its
  // cores, its max_connections), not the backend's.
  std::int32_t maxWriters = 1;
};

// The policy of the backend the opened `set` is stored on, in `*policy`.
METASHELF_API std::int32_t MsGetWriterPolicy(CMetaDataSet_abs* set, MsWriterPolicy* policy);

#endif  // METASHELF_WRITER_POLICY_H_
