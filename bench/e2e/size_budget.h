// Fitting a run's next size into what is left of its time budget: the
// seconds a record took at the sizes already run, stretched by a margin
// (larger collections cost a little more per record), decide whether the
// next size fits, and if not, the largest round size that does.
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

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_SIZE_BUDGET_H_
