// What a floor run took: the rows, then the indexes left out until after
// them, both inside the one transaction (the commit counts with the
// indexes).
#ifndef METASHELF_BENCH_E2E_FLOOR_TIME_H_
#define METASHELF_BENCH_E2E_FLOOR_TIME_H_

namespace metashelf::bench {

struct FloorTime {
  double rows = 0;
  double indexes = 0;
  int indexesBuilt = 0;  // indexes created after the rows
  double total() const { return rows + indexes; }
};

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_FLOOR_TIME_H_
