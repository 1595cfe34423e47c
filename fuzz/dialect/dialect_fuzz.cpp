// Fuzz entry point of the dialect adapter: any bytes as a statement text,
// lifted and adapted for every target, must give a result or an error, never
// a crash, a hang or a read past the input. A successful adaptation must
// also be stable: the lifted key of a text adapts, and its parameters name
// only literals that exist.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dialect/date_format.h"
#include "dialect/dialect.h"

using metashelf::driver::dialect::Adapt;
using metashelf::driver::dialect::Adapted;
using metashelf::driver::dialect::LiftLiterals;
using metashelf::driver::dialect::ParamSource;
using metashelf::driver::dialect::Shaped;
using metashelf::driver::dialect::Target;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  for (Target target : {Target::kSQLite, Target::kPostgreSQL}) {
    Adapted direct;
    Adapt(text, target, &direct, &error);
  }
  Shaped shaped;
  if (LiftLiterals(text, &shaped, &error)) {
    Adapted lifted;
    if (Adapt(shaped.key, Target::kSQLite, &lifted, &error)) {
      for (const ParamSource& p : lifted.params) {
        if (p.kind == ParamSource::Kind::kLiteral &&
            (p.index < 0 || static_cast<std::size_t>(p.index) >= shaped.literals.size())) {
          __builtin_trap();  // a parameter that names no literal
        }
      }
    }
  }
  metashelf::driver::dialect::CivilTime t;
  bool isNull = false;
  metashelf::driver::dialect::Error dateError;
  metashelf::driver::dialect::ParseOracleDate(text, "YYYY-MM-DD", &t, &isNull, &dateError);
  return 0;
}
