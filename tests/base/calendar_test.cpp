// The calendar check over a table of dates, well-formed or not, and the
// numbers read from printed dates and times.
#include "metashelf/base/calendar.h"

#include <gtest/gtest.h>

namespace {

using metashelf::base::DaysInMonth;
using metashelf::base::IsCalendarDate;
using metashelf::base::ReadDateTimeFields;

TEST(Calendar, DateTexts) {
  const struct {
    const char* text;
    bool date;
  } kCases[] = {
      {"2024-02-29", true},  {"2023-02-29", false}, {"2000-02-29", true},  {"1900-02-29", false},
      {"2023-04-30", true},  {"2023-04-31", false}, {"2023-12-31", true},  {"2023-13-01", false},
      {"2023-00-10", false}, {"2023-01-00", false}, {"0001-01-01", true},  {"0000-01-01", false},
      {"9999-12-31", true},  {"2023-1-01", false},  {"2023/01/01", false}, {"2023-01-01 ", false},
      {"", false},           {"2023-01-0a", false}, {"+023-01-01", false}, {"20230101", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsCalendarDate(c.text), c.date) << c.text;
}

TEST(Calendar, DaysInMonth) {
  const struct {
    int year, month, days;
  } kCases[] = {{2023, 1, 31}, {2023, 2, 28},  {2024, 2, 29}, {2100, 2, 28},
                {2400, 2, 29}, {2023, 11, 30}, {2023, 0, 0},  {2023, 13, 0}};
  for (const auto& c : kCases) {
    EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
  }
}

TEST(Calendar, DateTimeFields) {
  const struct {
    const char* text;
    int read;
    int fields[6];
  } kCases[] = {
      {"2024-02-29 13:45:07", 6, {2024, 2, 29, 13, 45, 7}},
      {"2024-02-29", 3, {2024, 2, 29}},
      {"2024-02-29T13:45:07", 3, {2024, 2, 29}},
      {" 2024-1-2\t\t3:4:5.250", 6, {2024, 1, 2, 3, 4, 5}},
      {"-44-03-15", 3, {-44, 3, 15}},
      {"2024-+3--4", 3, {2024, 3, -4}},
      {"2024-+-3", 1, {2024}},
      {"2024/02/29", 1, {2024}},
      {"2024-02-29 13:", 4, {2024, 2, 29, 13}},
      {"99999999999-01-01", 0, {}},
      {"", 0, {}},
      {"x", 0, {}},
  };
  for (const auto& c : kCases) {
    int fields[6] = {0, 0, 0, 0, 0, 0};
    ASSERT_EQ(ReadDateTimeFields(c.text, fields), c.read) << c.text;
    for (int i = 0; i < c.read; ++i) EXPECT_EQ(fields[i], c.fields[i]) << c.text << " " << i;
  }
}

}  // namespace
