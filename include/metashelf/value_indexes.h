// The value indexes of a collection, for hosts that write many records at
// once. Each collection keeps an index on (NODEGUID, NODEVALUE) of each of
// its three value tables; searches are correct without them, only slower.
// A large import may drop them, write its rows and restore them once at the
// end, which on some backends costs far less than keeping them up to date
// row by row. Whether it pays is the backend's to say: a host asks
// MsGetValueIndexPolicy instead of knowing which backend it runs on.
//
// Dropping and restoring run their statements one by one on the catalog's
// connection, so call them outside a transaction (on PostgreSQL a failed
// statement would abort the one open). A process that ends between a drop
// and a restore leaves the indexes missing: searches stay correct, and the
// next MsRestoreValueIndexes makes whichever is missing.
//
// Example, an import of `incoming` records into `set`:
//
//   MsValueIndexPolicy policy;
//   bool after = MsGetValueIndexPolicy(set, &policy) == 1 &&
//                policy.buildAfterFrom > 0 && incoming >= policy.buildAfterFrom;
//   if (policy.restoreBeforeImport) MsRestoreValueIndexes(set, nullptr);
//   if (after && MsDropValueIndexes(set) != 1) after = MsRestoreValueIndexes(set, nullptr) != 1;
//   ... write the records ...
//   if (after) MsRestoreValueIndexes(set, nullptr);
//
// No function throws; each returns 1 on success and 0 on failure (a null or
// unopened set, a set not made by NewMds, a statement that failed; the
// database's reason is then the host's last statement error).
#ifndef METASHELF_VALUE_INDEXES_H_
#define METASHELF_VALUE_INDEXES_H_

#include <cstdint>

#include "metashelf/export.h"

class CMetaDataSet_abs;

// What the backend under a set says about building value indexes after the
// rows rather than keeping them in place.
struct MsValueIndexPolicy {
  // The smallest import, in records, for which building the indexes once
  // after the rows is quicker than keeping them row by row; 0 when it never
  // is on this backend. The build covers the rows already stored too, so a
  // host weighs it against the collection's size as well (the command-line
  // tool asks for at least half as many records as the collection holds).
  std::int64_t buildAfterFrom = 0;
  // True when restoring indexes that are all there costs next to nothing,
  // so that an import may always restore first whatever an interrupted one
  // left dropped.
  bool restoreBeforeImport = false;
};

// The policy of the backend the opened `set` is stored on, in `*policy`.
METASHELF_API std::int32_t MsGetValueIndexPolicy(CMetaDataSet_abs* set, MsValueIndexPolicy* policy);

// Drops the three value indexes of the opened `set`: 1 when each was
// dropped, 0 otherwise (those dropped stay dropped until restored).
METASHELF_API std::int32_t MsDropValueIndexes(CMetaDataSet_abs* set);

// Creates whichever of the three value indexes of the opened `set` is
// missing: 1 when all three exist afterwards, 0 otherwise. An index that is
// there already is no failure. `created`, when not null, receives how many
// were made (0 on every failure before the first statement).
METASHELF_API std::int32_t MsRestoreValueIndexes(CMetaDataSet_abs* set, std::int32_t* created);

#endif  // METASHELF_VALUE_INDEXES_H_
