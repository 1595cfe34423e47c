// Keeps exceptions (memory exhaustion inside the standard library or the
// model library) from leaving an exported operation: the operation reports
// its failure value instead.
#ifndef METASHELF_SRC_DATASET_NO_THROW_H_
#define METASHELF_SRC_DATASET_NO_THROW_H_

namespace metashelf {
namespace dataset {

template <typename R, typename F>
R NoThrow(R failure, F&& body) {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_NO_THROW_H_
