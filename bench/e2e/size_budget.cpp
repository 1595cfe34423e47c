// Projecting a size's run time and fitting a size into a time budget.
#include "size_budget.h"

#include <cmath>

namespace metashelf::bench {
namespace {

constexpr double kMargin = 1.25;
constexpr double kSecondImportMargin = 1.5;

}  // namespace

double ProjectSeconds(std::int64_t records, double secondsPerRecord) {
  return static_cast<double>(records) * secondsPerRecord * kMargin;
}

std::int64_t FitSize(std::int64_t wanted, std::int64_t previous, double secondsPerRecord,
                     double secondsLeft) {
  if (secondsPerRecord <= 0 || ProjectSeconds(wanted, secondsPerRecord) <= secondsLeft) {
    return wanted;
  }
  if (secondsLeft <= 0) return 0;
  const double fits = secondsLeft / (secondsPerRecord * kMargin);
  std::int64_t unit = 1;
  while (fits >= static_cast<double>(unit) * 100) unit *= 10;
  const std::int64_t size = static_cast<std::int64_t>(std::floor(fits / unit)) * unit;
  return size > previous ? size : 0;
}

double ProjectSecondImport(double firstImportSeconds) {
  return firstImportSeconds * kSecondImportMargin;
}

bool SecondImportFits(double firstImportSeconds, double secondsLeft) {
  return ProjectSecondImport(firstImportSeconds) <= secondsLeft;
}

}  // namespace metashelf::bench
