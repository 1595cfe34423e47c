// Fitting a run's next size into what is left of its time budget: the
// seconds a record took at the sizes already run, stretched by a margin
// (larger collections cost a little more per record), decide whether the
// next size fits, and if not, the largest round size that does. A size's
// second import through the tool (the value indexes the other way) is
// fitted on its own, once the first import's time is known.
#ifndef METASHELF_BENCH_E2E_SIZE_BUDGET_H_
#define METASHELF_BENCH_E2E_SIZE_BUDGET_H_

#include <cstdint>

namespace metashelf::bench {

// Seconds `records` records are expected to take.
double ProjectSeconds(std::int64_t records, double secondsPerRecord);

// `wanted` when it fits in `secondsLeft`; otherwise the largest size that
// fits, rounded down to two significant digits; 0 when that is not above
// `previous` (the last size run), so the size is better left out.
std::int64_t FitSize(std::int64_t wanted, std::int64_t previous, double secondsPerRecord,
                     double secondsLeft);

// Seconds the second import of a size is expected to take, from the
// first one's: keeping the value indexes in place may cost half as much
// again as building them after the rows.
double ProjectSecondImport(double firstImportSeconds);

// Whether the second import fits in `secondsLeft`.
bool SecondImportFits(double firstImportSeconds, double secondsLeft);

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_SIZE_BUDGET_H_
