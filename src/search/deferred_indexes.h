// Rows without their indexes. Where keeping the search indexes row by row
// costs more than making them once over every row (PostgreSQL's GIN,
// trigram and GiST indexes), an import writes each record's words, box and
// period rows in the record's own transaction, as any write does, and the
// indexes are made once when it ends. A mark in the database tells every
// writer, of every connection and process, to keep the rows but not the
// distinct values (their per-record insert looks each value up, which is
// slow with its index gone): the end takes them from every record in one
// statement. Several imports may share the state: each joins it, and the
// last to end makes the indexes. One that never ends (a process killed)
// leaves the indexes not ready, so that the next search builds them anew,
// as it builds any that are missing.
#ifndef METASHELF_SRC_SEARCH_DEFERRED_INDEXES_H_
#define METASHELF_SRC_SEARCH_DEFERRED_INDEXES_H_

#include <functional>

struct MdsContext;
class COraMetaDataSet;

namespace metashelf {
namespace search {

// Enters the state for the set's collection, or joins it when another
// writer is in it, when the indexes are ready or the collection holds no
// record (its tables are then made anew): `*deferred` true. Otherwise (the
// engine keeps its indexes row by row, or the collection has records and
// no ready indexes, which a build must make) nothing changes and
// `*deferred` is false. False when a statement failed (nothing changed).
bool DeferSearchIndexes(MdsContext* ctx, bool* deferred);

// Leaves the state. The last writer to leave makes the indexes: the mark
// removed once every writer that read it is done, the distinct values of
// every record, the indexes and statistics, the ready mark last (from the
// stored records instead when some record's rows are missing, written
// while the state began). `*ready` tells whether the indexes are ready
// (false when another writer is still in the state, which makes them).
// False when a statement failed; the indexes are then not ready. A second
// connection that shares the making takes no step until `mayShare` (when
// given) allows it.
bool EndDeferredIndexes(COraMetaDataSet* set, MdsContext* ctx, bool* ready,
                        const std::function<bool()>& mayShare);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_DEFERRED_INDEXES_H_
