// Search that scales: free text over whole records, substring conditions,
// bounding boxes and dates of reduced precision, answered from the search
// indexes each collection keeps beside its value tables, with a score for
// ordering. A host calls these functions with an opened set; the set's own
// SearchMetaData is unchanged.
//
// A request is the same numbered-expression form SearchMetaData takes: an
// expression over condition numbers ("1 and (2 or 3)") and the conditions.
// Besides the value comparisons (=, <>, <, <=, >, >=, like, between on a
// node path), a condition may be one of these kinds, named by its `op`
// (its `nodePath` is then ignored and may be empty):
//
//   op "text"        free text anywhere in the record; value1 is the query:
//                    words (every one must occur), "a phrase" between
//                    double quotes, a prefix written wat* ; letters are
//                    compared without case and diacritics. Characters that
//                    are neither letters nor digits separate words and are
//                    never operators.
//   op "intersects"  the record's box meets the box value1 "W,S,E,N"
//   op "within"      the record's box lies inside the box value1 "W,S,E,N"
//                    (decimal degrees; W > E crosses the antimeridian).
//                    Records without a usable box never match.
//
// Example: every record about water quality in the box:
//
//   std::vector<SearchNode> c(2);
//   c[0].condID = 1; c[0].op = "text"; c[0].value1 = "\"water quality\"";
//   c[1].condID = 2; c[1].op = "intersects"; c[1].value1 = "-125,24,-66,50";
//   MsSearchOptions options;
//   options.orderByScore = true;
//   options.limit = 20;
//   std::vector<MsSearchHit> hits;
//   std::int32_t total = 0;
//   if (MsSearch(set, "1 and 2", c, options, &hits, &total) == 1) { ... }
//
// Value conditions on date nodes accept YYYY, YYYY-MM and YYYY-MM-DD; a
// stored date of reduced precision stands for the period it names.
//
// No function throws; each returns 1 on success and 0 when the request is
// refused (an unknown node, a malformed value, an expression that is not
// well formed) or a statement failed.
#ifndef METASHELF_SEARCH_H_
#define METASHELF_SEARCH_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/export.h"
#include "metashelf/records.h"

class CMetaDataSet_abs;

// One record found, with its score: higher is a better free-text match (a
// sum over the request's free-text conditions the record meets); 0 when the
// request has no free-text condition or the record met none.
struct MsSearchHit {
  std::int64_t metaID = 0;
  double score = 0;
};

struct MsSearchOptions {
  // Best score first (ties by ascending id); otherwise ascending id.
  bool orderByScore = false;
  // At most this many hits after skipping `offset` (0: all).
  std::int32_t limit = 0;
  std::int32_t offset = 0;
};

// Runs the request on `set` (an opened COraMetaDataSet). `hits` receives
// each matching record once, ordered as `options` say; `total`, when not
// null, the number of matching records before limit and offset. Search
// indexes the collection lacks (a database written before they existed, an
// interrupted build) are built first, as MsReindex does.
METASHELF_API std::int32_t MsSearch(CMetaDataSet_abs* set, const std::string& expression,
                                    const std::vector<SearchNode>& conditions,
                                    const MsSearchOptions& options, std::vector<MsSearchHit>* hits,
                                    std::int32_t* total);

// The statement MsSearch would run for the request's ids, in `sql`; runs
// nothing. 1, or 0 with `sql` unchanged when the request is refused.
METASHELF_API std::int32_t MsSearchSql(CMetaDataSet_abs* set, const std::string& expression,
                                       const std::vector<SearchNode>& conditions, std::string* sql);

// The stored values of node `nodeGUID` (kind 1 text, 2 number, 3 date, as
// GetNodeDataByGuid takes it) of the records `ids` of the opened `set`,
// appended to `values` in record id order, each element filled as
// GetNodeDataByGuid fills it; ids no record has give nothing. Reads only
// those records' rows, so that a search's few hits get their titles without
// every record's being read; ids of a quarter of the collection or more are
// served by one read of the node's every value instead. 1, or 0 with
// `values` as it was when a statement failed or the arguments are refused.
METASHELF_API std::int32_t MsNodeValuesOf(CMetaDataSet_abs* set, std::int32_t nodeGUID, char kind,
                                          const std::vector<std::int64_t>& ids,
                                          std::vector<NodeDataStrcT>* values);

// Rebuilds every search index of the opened `set` from its stored records
// (free text, substrings, boxes, dates). `records`, when not null, receives
// how many records were indexed. Outside a transaction it commits a few
// hundred records at a time (the indexes count as complete, and serve
// searches, only once the last step succeeded: a build cut short is made
// anew by the next search); inside the caller's transaction it is part of
// it. 1 on success.
METASHELF_API std::int32_t MsReindex(CMetaDataSet_abs* set, std::int64_t* records);

// Drops the search indexes of the opened `set` (a large import drops them,
// writes its rows and rebuilds them once with MsReindex, which is quicker
// than keeping them row by row). 1 when none is left.
METASHELF_API std::int32_t MsDropSearchIndexes(CMetaDataSet_abs* set);

// Whether the search indexes of the opened `set` are complete: 1 when they
// are, 0 when they are missing, partly built or cannot be read.
METASHELF_API std::int32_t MsSearchIndexesReady(CMetaDataSet_abs* set);

// For a large import into the opened `set`: where making the search indexes
// once costs less than keeping them row by row (PostgreSQL), every write
// from now on, of any connection or process, keeps the search rows of its
// records (free text, boxes, dates) in its own transaction but no index;
// MsEndDeferredSearchIndexes makes them. Entered when the indexes are
// ready or the collection holds no record (its index tables are then made),
// or joined when another import is in it: `*deferred` 1. Otherwise nothing
// changes and `*deferred` is 0: the engine keeps its indexes row by row
// (SQLite), or the collection holds records and its indexes are not ready
// (build them after the import, or let the first search do it). Meanwhile
// the indexes count as not ready; a search builds them anew. Call it
// outside a transaction. 1, or 0 when a statement failed (nothing changed).
METASHELF_API std::int32_t MsDeferSearchIndexes(CMetaDataSet_abs* set, std::int32_t* deferred);

// Ends what MsDeferSearchIndexes began on the same `set`. The last import
// to end makes the indexes (once every write that kept only the rows is
// committed: the distinct values of every record, the indexes and their
// statistics, the ready mark last); `*ready`, when not null, is then 1.
// It is 0 when another import is still writing, which makes them when it
// ends. An import that never ends (a process killed) leaves the indexes not
// ready: the next search builds them anew. Call it outside a transaction,
// where it commits in steps of its own. 1, or 0 when a statement failed
// (the indexes are then not ready).
METASHELF_API std::int32_t MsEndDeferredSearchIndexes(CMetaDataSet_abs* set, std::int32_t* ready);

// The same, for a host that meanwhile makes other indexes of the
// collection on a connection of its own (the value indexes, say): making
// the search indexes uses two connections where the engine can, and the
// second takes no part until `mayShare(context)` returns nonzero (asked
// from a thread of the library's own, now and then, until it does or the
// work is done), so that no more statements run at once than the cores
// the host means to give them. The host lets it share once its own work
// ended. A null `mayShare` shares at once, as MsEndDeferredSearchIndexes
// does. Results as for MsEndDeferredSearchIndexes.
METASHELF_API std::int32_t MsEndDeferredSearchIndexesBeside(CMetaDataSet_abs* set,
                                                            std::int32_t* ready,
                                                            std::int32_t (*mayShare)(void* context),
                                                            void* context);

#endif  // METASHELF_SEARCH_H_
