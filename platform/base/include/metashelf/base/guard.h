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

}  // namespace base
}  // namespace metashelf

#endif  // METASHELF_BASE_GUARD_H_
