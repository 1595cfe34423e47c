// The one guard at every exported entry point of the system: the gis_SQL*
// functions, the factories, and every operation of the catalog and the set.
// An exception thrown below (memory exhausted inside the standard library,
// a failure of a library underneath) must not cross the library's boundary
// into a host that may not even be C++: the guard turns it into the entry
// point's failure result, which the caller already handles.
//
//   std::int32_t COraMetaDataBase::schema_Del(std::int32_t schemaID) {
//     return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
//       ...
//     });
//   }
//
// Whatever the body holds is released by its own destructors on the way
// out, as on any other failure path.
#ifndef METASHELF_BASE_GUARD_H_
#define METASHELF_BASE_GUARD_H_

#include <utility>

namespace metashelf {
namespace base {

template <typename R, typename F>
R Guard(R failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

// The same where a failure must also leave a known state behind (a reason
// for the caller to read, outputs written halfway cleared): `onFailure`
// runs when the body threw. Should it throw in turn, the failure result is
// returned all the same.
template <typename R, typename F, typename G>
R Guard(R failure, F&& body, G&& onFailure) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    try {
      std::forward<G>(onFailure)();
    } catch (...) {
    }
    return failure;
  }
}

}  // namespace base
}  // namespace metashelf

#endif  // METASHELF_BASE_GUARD_H_
