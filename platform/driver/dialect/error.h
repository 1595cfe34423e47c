// Why the adapter refused a text, as one value: the number Oracle reports
// the same fault with and a message for a person. Backends report a refusal
// with this number as its native code and StateOf(error) as its state, so
// that a refusal reads the same on every backend; nobody reads a number back
// out of a message.
#ifndef METASHELF_DRIVER_DIALECT_ERROR_H_
#define METASHELF_DRIVER_DIALECT_ERROR_H_

#include <cstdint>
#include <string>
#include <utility>

namespace metashelf {
namespace driver {
namespace dialect {

// ORA-00900: invalid SQL statement, the number of a refusal Oracle has no
// more precise one for.
constexpr std::int32_t kInvalidStatement = 900;

struct Error {
  std::int32_t oracle = kInvalidStatement;
  std::string message;

  Error() = default;
  Error(std::int32_t code, std::string text) : oracle(code), message(std::move(text)) {}
  // `*error = "message"` refuses with kInvalidStatement.
  Error& operator=(std::string text) {
    oracle = kInvalidStatement;
    message = std::move(text);
    return *this;
  }
};

// The five-character state a refusal is reported with: HY024 for a sequence
// increment (ORA-04002), 22008 for a date that its format cannot read
// (ORA-018xx), 22001 for a value over its column's size (ORA-12899), 42000
// for every other refusal.
inline const char* StateOf(const Error& error) {
  if (error.oracle == 4002) return "HY024";
  if (error.oracle == 12899) return "22001";
  if (error.oracle >= 1800 && error.oracle < 1900) return "22008";
  return "42000";
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_ERROR_H_
