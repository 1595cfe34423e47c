// A box condition checked for given records only. A search that already
// narrowed a collection to a few records (a title substring, a keyword)
// asks whether those records' boxes meet a query box, instead of asking
// the box index for every record whose box does (a box over a continent
// meets thousands) and intersecting the two.
//
// The answer is the one MsSearch gives for op "intersects" or "within"
// (search.h) on the same records: the boxes are read from the record's
// stored bounds (the nodes aliased westbc, southbc, eastbc, northbc), a box
// with west > east crosses the antimeridian, and a record without a usable
// box never matches. It reads only the candidates' stored numbers, so it
// needs no search index and works on every backend.
//
//   std::vector<std::int64_t> near;
//   if (MsFilterByBox(set, titleHits, "-125,24,-66,50", false, &near) == 1) { ... }
//
// No function throws.
#ifndef METASHELF_BOX_FILTER_H_
#define METASHELF_BOX_FILTER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/export.h"

class CMetaDataSet_abs;

// The records of `candidates` (ids of the opened `set`, in any order,
// repeats allowed) whose box meets the box `box` "W,S,E,N" in decimal
// degrees or, with `within`, whose every box lies inside it; into
// `matches`, ascending and each once. Ids that are no record of the set
// never match. 1 on success; 0 when the box is malformed (not four numbers,
// out of range, south above north), `set` is not an opened set or a
// statement failed, with `matches` then empty.
METASHELF_API std::int32_t MsFilterByBox(CMetaDataSet_abs* set,
                                         const std::vector<std::int64_t>& candidates,
                                         const std::string& box, bool within,
                                         std::vector<std::int64_t>* matches);

#endif  // METASHELF_BOX_FILTER_H_
