// Splitting an adapted single-row INSERT around its row, and writing the
// same INSERT for several rows. The scan is deliberately narrow: anything
// it does not recognise (comments, dollar quotes, escape strings, a
// subquery, a function outside the short list below) leaves the text to
// run one row at a time, which is always correct.
#include "backends/postgresql/row_batch.h"

#include <cstdlib>

#include "metashelf/base/ascii.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// Functions a row may call: they read no table, so a row gives the same
// value in a statement of its own and in a statement with other rows.
const char* const kPlainFunctions[] = {
    "CAST",  "COALESCE", "NULLIF",   "TO_TIMESTAMP", "TO_DATE", "DECODE", "CONVERT_TO",
    "LEFT",  "SUBSTR",   "UPPER",    "LOWER",        "LENGTH",  "ABS",    "ROUND",
    "TRUNC", "NOW",      "GREATEST", "LEAST",        "BOX",     "POINT",
};

bool IsPlainFunction(const std::string& upper) {
  for (const char* name : kPlainFunctions) {
    if (upper == name) return true;
  }
  return false;
}

bool IsWordStart(char c) {
  return base::IsAsciiLetter(c) || c == '_';
}

bool IsWordChar(char c) {
  return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// One pass over the text: where VALUES's row starts and ends, and whether
// everything around it allows repeating the row.
class Scan {
 public:
  Scan(const std::string& text, int params) : s_(text), params_(params) {}

  bool Run(RowShape* out) {
    std::size_t i = 0;
    int depth = 0;
    bool first = true;
    std::size_t rowStart = std::string::npos;
    std::size_t rowEnd = std::string::npos;
    bool afterValues = false;
    std::size_t targetStart = std::string::npos;
    std::size_t targetEnd = std::string::npos;
    std::string previousWord;
    while (i < s_.size()) {
      const char c = s_[i];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++i;
        continue;
      }
      // Once the row has closed, nothing may follow it.
      if (rowEnd != std::string::npos) return false;
      if (c == '\'' || c == '"') {
        // An escape string (E'..'), bit string or Unicode form is not read here.
        if (i > 0 && IsWordChar(s_[i - 1])) return false;
        if (!SkipQuoted(&i, c)) return false;
        previousWord.clear();
        continue;
      }
      if (c == '-' && i + 1 < s_.size() && s_[i + 1] == '-') return false;
      if (c == '/' && i + 1 < s_.size() && s_[i + 1] == '*') return false;
      if (c == ';') return false;
      if (c == '$') {
        std::size_t end = i + 1;
        while (end < s_.size() && IsDigit(s_[end])) ++end;
        if (end == i + 1) return false;  // a dollar quote
        // Every parameter belongs to the row.
        if (rowStart == std::string::npos) return false;
        const long number = std::strtol(s_.c_str() + i + 1, nullptr, 10);
        if (number < 1 || number > params_) return false;
        i = end;
        previousWord.clear();
        continue;
      }
      if (IsWordStart(c)) {
        std::size_t end = i;
        while (end < s_.size() && IsWordChar(s_[end])) ++end;
        const std::string word = base::AsciiUpper(std::string_view(s_).substr(i, end - i));
        i = end;
        if (first) {
          if (word != "INSERT") return false;
          first = false;
          continue;
        }
        if (targetStart == std::string::npos && word == "INTO") {
          targetStart = i;
          continue;
        }
        if (word == "SELECT" || word == "WITH") return false;
        if (rowStart == std::string::npos) {
          if (depth == 0 && word == "DEFAULT") return false;  // DEFAULT VALUES
          if (depth == 0 && word == "VALUES") {
            if (afterValues) return false;
            afterValues = true;
            out->head = s_.substr(0, i);
            if (targetEnd == std::string::npos) targetEnd = i - word.size();
          }
        }
        previousWord = word;
        continue;
      }
      if (first) return false;
      if (c == '(') {
        if (targetEnd == std::string::npos) targetEnd = i;
        if (afterValues && rowStart == std::string::npos) {
          if (depth != 0) return false;
          rowStart = i;
        } else if (rowStart != std::string::npos && !previousWord.empty() &&
                   !IsPlainFunction(previousWord)) {
          // A call of a function that may read a table.
          return false;
        }
        ++depth;
        ++i;
        previousWord.clear();
        continue;
      }
      if (c == ')') {
        if (--depth < 0) return false;
        ++i;
        if (depth == 0 && rowStart != std::string::npos) rowEnd = i;
        previousWord.clear();
        continue;
      }
      // Anything after VALUES but before its row (a second VALUES list's
      // separator never comes: the row would have closed).
      if (afterValues && rowStart == std::string::npos) return false;
      if (c == ',' && depth == 0) return false;
      ++i;
      previousWord.clear();
    }
    if (rowStart == std::string::npos || rowEnd == std::string::npos) return false;
    if (targetStart == std::string::npos || targetEnd <= targetStart) return false;
    out->row = s_.substr(rowStart, rowEnd - rowStart);
    for (std::size_t k = targetStart; k < targetEnd; ++k) {
      if (s_[k] != ' ' && s_[k] != '\t' && s_[k] != '\n' && s_[k] != '\r') out->target += s_[k];
    }
    out->target = base::AsciiUpper(out->target);
    return !out->target.empty();
  }

 private:
  // Skips a quoted literal or identifier ('' or "" doubled inside).
  bool SkipQuoted(std::size_t* i, char quote) {
    std::size_t k = *i + 1;
    for (;;) {
      const std::size_t close = s_.find(quote, k);
      if (close == std::string::npos) return false;
      if (close + 1 < s_.size() && s_[close + 1] == quote) {
        k = close + 2;
        continue;
      }
      *i = close + 1;
      return true;
    }
  }

  const std::string& s_;
  int params_;
};

}  // namespace

bool SplitSingleRowInsert(const std::string& text, int params, RowShape* out) {
  RowShape shape;
  if (params < 1 || !Scan(text, params).Run(&shape)) return false;
  *out = std::move(shape);
  return true;
}

std::string MultiRowText(const RowShape& shape, int params, int rows) {
  std::string text = shape.head;
  text.reserve(shape.head.size() + static_cast<std::size_t>(rows) * (shape.row.size() + 8));
  for (int k = 0; k < rows; ++k) {
    text += k == 0 ? " " : ", ";
    // The row is copied with each $n renumbered; quoted parts go as they are.
    const std::string& row = shape.row;
    std::size_t i = 0;
    while (i < row.size()) {
      const char c = row[i];
      if (c == '\'' || c == '"') {
        std::size_t close = i + 1;
        for (;;) {
          close = row.find(c, close);
          if (close + 1 < row.size() && row[close + 1] == c) {
            close += 2;
            continue;
          }
          break;
        }
        text.append(row, i, close + 1 - i);
        i = close + 1;
        continue;
      }
      if (c == '$' && i + 1 < row.size() && IsDigit(row[i + 1])) {
        std::size_t end = i + 1;
        while (end < row.size() && IsDigit(row[end])) ++end;
        const long number = std::strtol(row.c_str() + i + 1, nullptr, 10);
        text += '$';
        text += std::to_string(number + static_cast<long>(k) * params);
        i = end;
        continue;
      }
      text += c;
      ++i;
    }
  }
  return text;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf
