// CSmartArray<T>: the growable array in which id lists and leaf-node lists
// travel between the host and the library. Elements are trivially copyable
// values (32-bit ids, 64-bit ids, pointers) kept in a CSmartFile at a fixed
// element size. Operations of the library append to a caller's array and
// never clear it unless they say so.
#ifndef METASHELF_SMART_ARRAY_H_
#define METASHELF_SMART_ARRAY_H_

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "metashelf/smart_file.h"

template <typename T>
class CSmartArray {
  static_assert(std::is_trivially_copyable<T>::value,
                "CSmartArray holds plain values only");

 public:
  CSmartArray() = default;

  // Number of elements.
  std::int32_t GetSize() const { return count_; }

  // Appends `value` at the end; returns its index, or -1 if the stream
  // could not take it.
  std::int32_t Add(const T& value) {
    if (!file_.Seek(static_cast<std::int64_t>(count_) * sizeof(T))) return -1;
    if (!file_.Write(&value, sizeof(T))) return -1;
    return count_++;
  }

  // Copies element `index` into `*out`. Returns false, leaving `*out`
  // untouched, for an index outside 0 .. GetSize()-1 or a null `out`.
  bool GetAt(std::int32_t index, T* out) const {
    if (out == nullptr || index < 0 || index >= count_) return false;
    std::memcpy(out, file_.Data() + static_cast<std::int64_t>(index) * sizeof(T), sizeof(T));
    return true;
  }

  // Element `index` by value; a value-initialised T outside the range.
  T operator[](std::int32_t index) const {
    T value{};
    GetAt(index, &value);
    return value;
  }

  // Makes the array hold `size` elements (new ones are zero bytes). A
  // negative size is refused: returns false and changes nothing.
  bool SetSize(std::int32_t size) {
    if (size < 0) return false;
    if (!file_.SetLength(static_cast<std::int64_t>(size) * sizeof(T))) return false;
    count_ = size;
    return true;
  }

 private:
  CSmartFile file_;
  std::int32_t count_ = 0;
};

#endif  // METASHELF_SMART_ARRAY_H_
