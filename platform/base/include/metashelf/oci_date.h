// The driver's date record: Oracle's OCI date as the driver delivers it for
// a column bound with type code 156. Its byte layout is part of the binary
// interface; the static_asserts keep it from drifting.
#ifndef METASHELF_OCI_DATE_H_
#define METASHELF_OCI_DATE_H_

#include <cstddef>
#include <cstdint>

//   offset 0   2   3   4   5   6   7
//          +---+---+---+---+---+---+
//          |year|mo|dy|hr|mi|ss|      year: int16, the rest one byte each
//          +---+---+---+---+---+---+
struct OCIDate {
  std::int16_t year;
  std::uint8_t month;
  std::uint8_t day;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint8_t second;
};
static_assert(sizeof(OCIDate) == 8, "OCIDate is 8 bytes with its padding");
static_assert(offsetof(OCIDate, month) == 2 && offsetof(OCIDate, second) == 6,
              "OCIDate byte layout");

#endif  // METASHELF_OCI_DATE_H_
