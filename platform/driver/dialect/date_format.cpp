// Oracle date reading and writing for the supported formats.
#include "dialect/date_format.h"

#include <cstdio>
#include <vector>

#include "dialect/tokenizer.h"
#include "metashelf/base/calendar.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

struct Element {
  char field;  // 'Y','M','D','h','m','s', or 0 for punctuation
  int width;
  bool time;
};

bool Elements(std::string_view format, std::vector<Element>* out) {
  const std::string f = Upper(format);
  if (f == "YYYY-MM-DD") {
    *out = {{'Y', 4, false}, {0, 1, false}, {'M', 2, false}, {0, 1, false}, {'D', 2, false}};
    return true;
  }
  if (f == "YYYY-MM-DD HH24:MI:SS") {
    *out = {{'Y', 4, false}, {0, 1, false}, {'M', 2, false}, {0, 1, false},
            {'D', 2, false}, {0, 1, true},  {'h', 2, true},  {0, 1, true},
            {'m', 2, true},  {0, 1, true},  {'s', 2, true}};
    return true;
  }
  return false;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool SupportedDateFormat(std::string_view format) {
  std::vector<Element> e;
  return Elements(format, &e);
}

bool ParseOracleDate(std::string_view text, std::string_view format, CivilTime* out, bool* isNull,
                     Error* error) {
  *isNull = false;
  std::vector<Element> elements;
  if (!Elements(format, &elements)) {
    *error = Error{1821, "ORA-01821: date format not recognized"};
    return false;
  }
  if (text.empty()) {
    *isNull = true;
    return true;
  }
  CivilTime v;
  v.month = 1;
  v.day = 1;
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool lastFull = false;  // the previous numeric element used its whole width
  for (std::size_t k = 0; k < elements.size(); ++k) {
    const Element& el = elements[k];
    if (pos >= text.size()) {
      if (el.time) break;  // time fields at the end may be left out
      *error = Error{1840, "ORA-01840: input value not long enough for date format"};
      return false;
    }
    if (el.field == 0) {
      if (!IsAlnum(text[pos])) {
        ++pos;
      } else if (!(IsDigit(text[pos]) && lastFull)) {
        *error = Error{1861, "ORA-01861: literal does not match format string"};
        return false;
      }
      continue;
    }
    int value = 0;
    int digits = 0;
    while (pos < text.size() && digits < el.width && IsDigit(text[pos])) {
      value = value * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0) {
      *error =
          Error{1858, "ORA-01858: a non-numeric character was found where a numeric was expected"};
      return false;
    }
    lastFull = digits == el.width;
    switch (el.field) {
      case 'Y':
        v.year = value;
        break;
      case 'M':
        v.month = value;
        break;
      case 'D':
        v.day = value;
        break;
      case 'h':
        v.hour = value;
        break;
      case 'm':
        v.minute = value;
        break;
      case 's':
        v.second = value;
        break;
    }
  }
  if (pos < text.size()) {
    *error =
        Error{1830, "ORA-01830: date format picture ends before converting entire input string"};
    return false;
  }
  if (v.year == 0) {
    *error = Error{1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0"};
    return false;
  }
  if (v.month < 1 || v.month > 12) {
    *error = Error{1843, "ORA-01843: not a valid month"};
    return false;
  }
  if (v.day < 1 || v.day > 31) {
    *error = Error{1847, "ORA-01847: day of month must be between 1 and last day of month"};
    return false;
  }
  if (v.day > base::DaysInMonth(v.year, v.month)) {
    *error = Error{1839, "ORA-01839: date not valid for month specified"};
    return false;
  }
  if (v.hour > 23) {
    *error = Error{1850, "ORA-01850: hour must be between 0 and 23"};
    return false;
  }
  if (v.minute > 59) {
    *error = Error{1851, "ORA-01851: minutes must be between 0 and 59"};
    return false;
  }
  if (v.second > 59) {
    *error = Error{1852, "ORA-01852: seconds must be between 0 and 59"};
    return false;
  }
  *out = v;
  return true;
}

bool FormatOracleDate(const CivilTime& v, std::string_view format, std::string* out, Error* error) {
  const std::string f = Upper(format);
  char buf[64];
  if (f == "YYYY-MM-DD") {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", v.year, v.month, v.day);
  } else if (f == "YYYY-MM-DD HH24:MI:SS") {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour,
                  v.minute, v.second);
  } else {
    *error = Error{1821, "ORA-01821: date format not recognized"};
    return false;
  }
  *out = buf;
  return true;
}

std::string StorageText(const CivilTime& v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour,
                v.minute, v.second);
  return buf;
}

bool ParseStorageText(std::string_view text, CivilTime* out) {
  // YYYY-MM-DD[ HH:MM:SS]
  auto num = [&](std::size_t at, std::size_t len, int* v) {
    if (at + len > text.size()) return false;
    int x = 0;
    for (std::size_t i = at; i < at + len; ++i) {
      if (!IsDigit(text[i])) return false;
      x = x * 10 + (text[i] - '0');
    }
    *v = x;
    return true;
  };
  CivilTime v;
  if (!num(0, 4, &v.year) || text.size() < 10 || text[4] != '-' || !num(5, 2, &v.month) ||
      text[7] != '-' || !num(8, 2, &v.day)) {
    return false;
  }
  if (text.size() > 10) {
    if (text.size() < 19 || text[10] != ' ' || !num(11, 2, &v.hour) || text[13] != ':' ||
        !num(14, 2, &v.minute) || text[16] != ':' || !num(17, 2, &v.second)) {
      return false;
    }
  }
  if (v.month < 1 || v.month > 12 || v.day < 1 || v.day > base::DaysInMonth(v.year, v.month))
    return false;
  *out = v;
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf
