// Texts of the search indexes: record words, query terms, boxes, patterns.
#include "search/index_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "metashelf/base/numbers.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/base/utf8.h"
#include "metashelf/base/xml_escape.h"
#include "metashelf/words/word_tokenizer.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

bool IsWordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}

// Appends the UTF-8 form of code point `cp` (replacement character when it
// is not one).
void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes the entity reference starting at xml[i] ('&'); returns the index
// after it, or i + 1 with a literal '&' when it is not one.
std::size_t DecodeEntity(const std::string& xml, std::size_t i, std::string* out) {
  const std::size_t semi = xml.find(';', i);
  if (semi == std::string::npos || semi - i > 12) {
    out->push_back('&');
    return i + 1;
  }
  const std::string name = xml.substr(i + 1, semi - i - 1);
  if (name == "amp") {
    out->push_back('&');
  } else if (name == "lt") {
    out->push_back('<');
  } else if (name == "gt") {
    out->push_back('>');
  } else if (name == "quot") {
    out->push_back('"');
  } else if (name == "apos") {
    out->push_back('\'');
  } else if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const char* begin = name.data() + (hex ? 2 : 1);
    std::uint32_t cp = 0;
    const auto result = std::from_chars(begin, name.data() + name.size(), cp, hex ? 16 : 10);
    if (result.ec != std::errc() || result.ptr != name.data() + name.size()) {
      out->push_back('&');
      return i + 1;
    }
    AppendUtf8(cp, out);
  } else {
    out->push_back('&');
    return i + 1;
  }
  return semi + 1;
}

bool ParseNumber(const std::string& text, std::size_t begin, std::size_t end, double* value) {
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  if (begin == end) return false;
  const std::string part = text.substr(begin, end - begin);
  if (!base::IsDecimalNumber(part)) return false;
  const auto result = std::from_chars(part.data(), part.data() + part.size(), *value);
  return result.ec == std::errc() && result.ptr == part.data() + part.size() &&
         std::isfinite(*value);
}

// Splits plain (unquoted) text into one-word terms.
void AddWords(const std::string& text, std::vector<TextTerm>* terms) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !IsWordByte(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    while (i < text.size() && IsWordByte(static_cast<unsigned char>(text[i]))) ++i;
    if (i == start) break;
    TextTerm term;
    term.words.push_back(text.substr(start, i - start));
    term.prefix = i < text.size() && text[i] == '*';
    terms->push_back(std::move(term));
  }
}

// The words of a phrase, in order.
std::vector<std::string> PhraseWords(const std::string& text) {
  std::vector<TextTerm> words;
  AddWords(text, &words);
  std::vector<std::string> out;
  for (TextTerm& w : words) out.push_back(std::move(w.words[0]));
  return out;
}

std::string Joined(const std::vector<std::string>& words, std::size_t count) {
  std::string out;
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) out += ' ';
    out += words[k];
  }
  return out;
}

// Whether the attribute whose value starts at xml[quote] is a namespace
// declaration or a schema location.
bool IsDeclaration(const std::string& xml, std::size_t quote) {
  std::size_t end = quote;
  while (end > 0 && (xml[end - 1] == ' ' || xml[end - 1] == '=' || xml[end - 1] == '\n' ||
                     xml[end - 1] == '\t' || xml[end - 1] == '\r')) {
    --end;
  }
  std::size_t begin = end;
  while (begin > 0 && xml[begin - 1] != ' ' && xml[begin - 1] != '\n' && xml[begin - 1] != '\t' &&
         xml[begin - 1] != '\r' && xml[begin - 1] != '<') {
    --begin;
  }
  const std::string_view name(xml.data() + begin, end - begin);
  const std::string_view location = "schemaLocation";
  return name.compare(0, 5, "xmlns") == 0 ||
         (name.size() >= location.size() &&
          name.compare(name.size() - location.size(), location.size(), location) == 0);
}

// Appends `value` as a marker of text is written: with references for
// what markup could read.
void AppendEscaped(std::string_view value, std::string* out) {
  for (char c : value) {
    // Tab and line ends stay as they are: the indexed text has always
    // held them so, and a reference would only be read back to them.
    const bool blank = c == '\t' || c == '\n' || c == '\r';
    const std::string_view reference = blank ? std::string_view() : base::XmlReference(c);
    if (reference.empty()) {
      *out += c;
    } else {
      *out += reference;
    }
  }
}

// The marker that opens at s[open] ('\x01'): where what it covers ends
// (after its '\x02', or after the '\x01' alone when none follows), and
// whether it is whole: kind, guid '<' position.
struct Marker {
  std::size_t end = 0;
  bool whole = false;
  char kind = 0;
  std::int32_t guid = 0;
  std::int32_t position = 0;
};

Marker ReadMarker(const std::string& s, std::size_t open) {
  Marker m;
  m.end = open + 1;
  const std::size_t close = s.find('\x02', open);
  if (close == std::string::npos) return m;
  m.end = close + 1;
  if (close - open < 4) return m;
  m.kind = s[open + 1];
  const std::size_t less = s.find('<', open);
  const char* text = s.data();
  m.whole = less != std::string::npos && less < close &&
            std::from_chars(text + open + 2, text + less, m.guid).ptr == text + less &&
            std::from_chars(text + less + 1, text + close, m.position).ptr == text + close;
  return m;
}

// The stored text value under `key`.
bool FindText(const MarkerValues& values, std::uint64_t key, std::string_view* text) {
  if (values.views == nullptr) return false;
  const TextViews& views = *values.views;
  const auto at = std::lower_bound(views.begin(), views.end(), key,
                                   [](const std::pair<std::uint64_t, std::string_view>& e,
                                      std::uint64_t k) { return e.first < k; });
  if (at == views.end() || at->first != key) return false;
  *text = at->second;
  return true;
}

// The stored text a whole marker stands for; false for numbers, dates and
// values not there, which stand for nothing in the words.
bool MarkerText(const Marker& m, const MarkerValues& values, std::string_view* text) {
  if (!m.whole || m.kind == 'n' || m.kind == 'i' || m.kind == 'd') return false;
  return FindText(values, LeafKey(m.guid, m.position), text);
}

// TextOfXml over `xml` into `result`; with `texts`, `xml` is a structure
// document and each marker in text stands for its value (what FillMarkers
// would write, as TextOfXml would read it back). False when that cannot be
// told without writing the document (a value in CDATA that would end it).
bool TextOf(const std::string& xml, const MarkerValues* texts, std::string* result) {
  std::string& out = *result;
  out.clear();
  out.reserve(xml.size());
  // The piece of text being read is out[start, end): a piece ends at
  // markup; pieces of blanks alone (indentation) are taken back, the
  // others kept verbatim, one line break after each.
  std::size_t start = 0;
  const auto flush = [&out, &start] {
    for (std::size_t k = start; k < out.size(); ++k) {
      const char c = out[k];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
        out += '\n';
        start = out.size();
        return;
      }
    }
    out.resize(start);
  };
  // A value in element content or an attribute: escaped when written,
  // decoded when read, with NUL bytes dropped as in any text.
  const auto value = [&out](std::string_view v) {
    for (std::size_t nul = v.find('\0'); nul != std::string_view::npos; nul = v.find('\0')) {
      out.append(v.data(), nul);
      v.remove_prefix(nul + 1);
    }
    out.append(v.data(), v.size());
  };
  std::size_t i = 0;
  const std::size_t n = xml.size();
  const char* const data = xml.data();
  while (i < n) {
    const char c = xml[i];
    if (c == '<') {
      flush();
      const char next = i + 1 < n ? xml[i + 1] : '\0';
      if (next == '!' && xml.compare(i, 9, "<![CDATA[") == 0) {
        const std::size_t end = xml.find("]]>", i + 9);
        const std::size_t stop = end == std::string::npos ? n : end;
        if (texts == nullptr) {
          out.append(xml, i + 9, stop - i - 9);
        } else {
          // Verbatim inside CDATA.
          for (std::size_t k = i + 9; k < stop;) {
            if (xml[k] != '\x01') {
              const void* marker = std::memchr(data + k, '\x01', stop - k);
              const std::size_t run =
                  marker == nullptr
                      ? stop
                      : static_cast<std::size_t>(static_cast<const char*>(marker) - data);
              out.append(xml, k, run - k);
              k = run;
              continue;
            }
            const Marker m = ReadMarker(xml, k);
            std::string_view v;
            if (MarkerText(m, *texts, &v)) {
              // A value of CDATA as it is, any other as written escaped.
              if (m.kind != 'c') {
                AppendEscaped(v, &out);
              } else if (v.find("]]>") != std::string_view::npos) {
                return false;
              } else {
                out.append(v.data(), v.size());
              }
            }
            k = m.end;
          }
        }
        flush();
        i = end == std::string::npos ? n : end + 3;
        continue;
      }
      if (next == '!' || next == '?') {
        const char* close = xml.compare(i, 4, "<!--") == 0 ? "-->" : ">";
        const std::size_t end = xml.find(close, i + 1);
        i = end == std::string::npos ? n : end + std::char_traits<char>::length(close);
        continue;
      }
      // A tag: its attribute values are text of the record too.
      ++i;
      while (i < n && xml[i] != '>') {
        if (xml[i] != '"' && xml[i] != '\'') {
          ++i;
          continue;
        }
        // Namespace declarations and schema locations name documents,
        // not the record's subject.
        const bool skip = IsDeclaration(xml, i);
        const char quote = xml[i++];
        while (i < n && xml[i] != quote) {
          if (xml[i] == '&') {
            i = DecodeEntity(xml, i, &out);
          } else if (xml[i] == '\x01' && texts != nullptr) {
            const Marker m = ReadMarker(xml, i);
            std::string_view v;
            if (MarkerText(m, *texts, &v)) value(v);
            i = m.end;
          } else {
            if (xml[i] != '\0') out.push_back(xml[i]);
            ++i;
          }
        }
        if (skip) out.resize(start);
        flush();
        ++i;
      }
      ++i;
    } else if (c == '&') {
      i = DecodeEntity(xml, i, &out);
    } else if (c == '\x01' && texts != nullptr) {
      const Marker m = ReadMarker(xml, i);
      std::string_view v;
      if (MarkerText(m, *texts, &v)) value(v);
      i = m.end;
    } else {
      // A run of plain text at once.
      std::size_t end = i;
      while (end < n && xml[end] != '<' && xml[end] != '&' && xml[end] != '\0' &&
             (xml[end] != '\x01' || texts == nullptr)) {
        ++end;
      }
      out.append(xml, i, end - i);
      i = end == i ? i + 1 : end;
    }
  }
  flush();
  return true;
}

}  // namespace

void SortByKey(TextViews* views) {
  std::stable_sort(
      views->begin(), views->end(),
      [](const std::pair<std::uint64_t, std::string_view>& a,
         const std::pair<std::uint64_t, std::string_view>& b) { return a.first < b.first; });
}

std::string TextOfXml(const std::string& xml) {
  std::string out;
  TextOf(xml, nullptr, &out);
  return out;
}

void TextOfStructure(const std::string& structure, const TextViews& texts, std::string* out) {
  MarkerValues values;
  values.views = &texts;
  if (!TextOf(structure, &values, out)) *out = TextOfXml(FillMarkers(structure, values));
}

bool ParseTextQuery(const std::string& query, std::vector<TextTerm>* terms) {
  // A database may refuse a text that is not UTF-8, and PostgreSQL would
  // then abort the caller's transaction: such a query is refused here.
  if (!base::IsStrictUtf8(query)) return false;
  std::vector<TextTerm> out;
  std::size_t i = 0;
  while (i < query.size()) {
    const std::size_t quote = query.find('"', i);
    if (quote == std::string::npos) {
      AddWords(query.substr(i), &out);
      break;
    }
    AddWords(query.substr(i, quote - i), &out);
    const std::size_t end = query.find('"', quote + 1);
    const std::size_t stop = end == std::string::npos ? query.size() : end;
    TextTerm phrase;
    phrase.words = PhraseWords(query.substr(quote + 1, stop - quote - 1));
    i = end == std::string::npos ? query.size() : end + 1;
    phrase.prefix = end != std::string::npos && i < query.size() && query[i] == '*';
    if (!phrase.words.empty()) out.push_back(std::move(phrase));
  }
  // A term that holds no word of the index (a dash or a bullet standing
  // alone) would make the whole query match nothing in either engine: it
  // is left out, as a separator is. A word with an ASCII letter or digit
  // always holds one; the tokenizer is opened only for words without.
  std::unique_ptr<words::WordTokenizer> tokenizer;
  const auto holdsWord = [&tokenizer](const TextTerm& term) {
    for (const std::string& word : term.words) {
      if (std::any_of(word.begin(), word.end(), [](char c) {
            return IsWordByte(static_cast<unsigned char>(c)) &&
                   static_cast<unsigned char>(c) < 0x80;
          })) {
        return true;
      }
    }
    if (!tokenizer) tokenizer = words::WordTokenizer::Open();
    if (!tokenizer) return true;  // kept as it was written
    bool any = false;
    for (const std::string& word : term.words) {
      tokenizer->Tokenize(word, [&any](std::string_view) { any = true; });
      if (any) return true;
    }
    return false;
  };
  out.erase(std::remove_if(out.begin(), out.end(),
                           [&holdsWord](const TextTerm& term) { return !holdsWord(term); }),
            out.end());
  if (out.empty()) return false;
  *terms = std::move(out);
  return true;
}

std::string Fts5Query(const std::vector<TextTerm>& terms) {
  std::string out;
  for (const TextTerm& term : terms) {
    if (!out.empty()) out += " AND ";
    // Words hold no quote; doubling keeps that true whatever changes.
    out += '"';
    for (char c : Joined(term.words, term.words.size())) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
    if (term.prefix) out += " *";
  }
  return out;
}

bool ParseBox(const std::string& text, GeoBox* box) {
  double v[4] = {};
  std::size_t begin = 0;
  for (int k = 0; k < 4; ++k) {
    const std::size_t comma = k < 3 ? text.find(',', begin) : text.size();
    if (comma == std::string::npos) return false;
    if (!ParseNumber(text, begin, comma, &v[k])) return false;
    begin = comma + 1;
  }
  const GeoBox parsed{v[0], v[1], v[2], v[3]};
  if (!IsUsableBox(parsed)) return false;
  *box = parsed;
  return true;
}

bool IsUsableBox(const GeoBox& b) {
  const auto finite = [](double x) { return std::isfinite(x); };
  if (!finite(b.west) || !finite(b.east) || !finite(b.south) || !finite(b.north)) return false;
  return b.west >= -180 && b.west <= 180 && b.east >= -180 && b.east <= 180 && b.south >= -90 &&
         b.north <= 90 && b.south <= b.north;
}

std::vector<GeoBox> SplitAtAntimeridian(const GeoBox& b) {
  if (b.west <= b.east) return {b};
  return {GeoBox{b.west, b.south, 180, b.north}, GeoBox{-180, b.south, b.east, b.north}};
}

std::vector<std::string> Trigrams(const std::string& value) {
  // Where each character starts.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  std::vector<std::string> out;
  for (std::size_t k = 0; k + 3 <= starts.size(); ++k) {
    const std::size_t end = k + 3 < starts.size() ? starts[k + 3] : value.size();
    std::string trigram = value.substr(starts[k], end - starts[k]);
    bool seen = false;
    for (const std::string& t : out) seen = seen || t == trigram;
    if (!seen) out.push_back(std::move(trigram));
  }
  return out;
}

std::string TrigramQuery(const std::vector<std::string>& trigrams) {
  std::string out;
  for (const std::string& t : trigrams) {
    if (!out.empty()) out += " AND ";
    out += '"';
    for (char c : t) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  }
  return out;
}

std::string FillMarkers(const std::string& structure, const MarkerValues& values) {
  std::string out;
  out.reserve(structure.size() * 2);
  std::size_t i = 0;
  while (i < structure.size()) {
    const std::size_t open = structure.find('\x01', i);
    if (open == std::string::npos) {
      out.append(structure, i, std::string::npos);
      break;
    }
    out.append(structure, i, open - i);
    // What is not a marker is dropped up to its end, as no text holds
    // these characters.
    const Marker m = ReadMarker(structure, open);
    i = m.end;
    if (!m.whole) continue;
    const char kind = m.kind;
    const std::int32_t guid = m.guid;
    const std::int32_t position = m.position;
    if (kind == 'n' || kind == 'i') {
      out += values.number;
      continue;
    }
    if (kind == 'd') {
      out += values.date;
      continue;
    }
    std::string_view text;
    if (!FindText(values, LeafKey(guid, position), &text)) continue;
    if (kind == 'c') {
      out.append(text.data(), text.size());
      continue;
    }
    AppendEscaped(text, &out);
  }
  return out;
}

bool MayHoldReducedDate(const std::string& structure) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  const auto opens = [](char c) { return c == '>' || c == '"' || c == '\'' || c == '['; };
  const auto closes = [](char c) { return c == '<' || c == '"' || c == '\'' || c == ']'; };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const std::size_t n = structure.size();
  for (std::size_t i = 0; i + 4 <= n; ++i) {
    if (!digit(structure[i]) || (i > 0 && digit(structure[i - 1]))) continue;
    std::size_t b = i;
    while (b > 0 && blank(structure[b - 1])) --b;
    if (b == 0 || !opens(structure[b - 1])) continue;
    std::size_t e = i;
    while (e < n && digit(structure[e])) ++e;
    if (e - i != 4) continue;
    if (e + 2 < n && structure[e] == '-' && digit(structure[e + 1]) && digit(structure[e + 2]) &&
        (e + 3 == n || !digit(structure[e + 3]))) {
      e += 3;
    }
    while (e < n && blank(structure[e])) ++e;
    if (e < n && closes(structure[e])) return true;
  }
  return false;
}

bool ReducedDatePeriod(const std::string& value, std::string* first, std::string* last) {
  std::size_t b = 0, e = value.size();
  while (b < e && (value[b] == ' ' || value[b] == '\t' || value[b] == '\n' || value[b] == '\r'))
    ++b;
  while (e > b && (value[e - 1] == ' ' || value[e - 1] == '\t' || value[e - 1] == '\n' ||
                   value[e - 1] == '\r')) {
    --e;
  }
  const std::string v = value.substr(b, e - b);
  const auto digits = [&v](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
      if (v[i] < '0' || v[i] > '9') return false;
    }
    return true;
  };
  if ((v.size() != 4 && v.size() != 7) || !digits(0, 4)) return false;
  const std::string year = v.substr(0, 4);
  if (year == "0000") return false;
  if (v.size() == 4) {
    *first = year + "-01-01";
    *last = year + "-12-31";
    return true;
  }
  if (v[4] != '-' || !digits(5, 2)) return false;
  const int month = (v[5] - '0') * 10 + (v[6] - '0');
  if (month < 1 || month > 12) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int y = std::stoi(year);
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  *first = v + "-01";
  *last = v + "-" + std::to_string(days);
  return true;
}

std::string PeriodCondition(const std::string& op, const std::string& value1,
                            const std::string& value2) {
  const std::string a = "'" + QuoteDoubled(value1) + "'";
  if (op == "=") return "LO<=" + a + " and HI>=" + a;
  if (op == "<>" || op == "!=") return "(LO<>" + a + " or HI<>" + a + ")";
  if (op == "<" || op == "<=") return "LO" + op + a;
  if (op == ">" || op == ">=") return "HI" + op + a;
  if (op == "between") return "LO<='" + QuoteDoubled(value2) + "' and HI>=" + a;
  return std::string();
}

std::string LikeLiteral(const std::string& value, char escape) {
  std::string out;
  out.reserve(value.size() + 4);
  for (char c : value) {
    if (c == '%' || c == '_' || c == escape) out += escape;
    out += c;
  }
  return out;
}

}  // namespace search
}  // namespace metashelf
