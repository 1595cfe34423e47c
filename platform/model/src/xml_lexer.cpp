// XmlLexer: tokens and well-formedness checks of record text (see the
// header). Each failure names what was wrong and the byte where the scan
// stood.
#include "xml_lexer.h"

#include <cstring>
#include <unordered_set>

#include "xml_text.h"

namespace metashelf::model {
namespace {

struct NameTable {
  bool start[256] = {};
  bool name[256] = {};
  constexpr NameTable() {
    for (int c = 0; c < 256; ++c) {
      start[c] =
          (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
      name[c] = start[c] || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
  }
};
constexpr NameTable kNames;

}  // namespace

bool IsXmlNameStart(unsigned char c) {
  return kNames.start[c];
}

bool IsXmlNameChar(unsigned char c) {
  return kNames.name[c];
}

XmlLexer::XmlLexer(std::string_view text, std::size_t from)
    : s_(text.data()),
      n_(text.size()),
      from_(from < text.size() ? from : text.size()),
      pos_(from_) {}

bool XmlLexer::Fail(const std::string& what) {
  error_ = what + " at byte " + std::to_string(pos_);
  return false;
}

XmlLexer::Token XmlLexer::Error() {
  if (error_.empty()) Fail("malformed record");
  return Token::kError;
}

bool XmlLexer::StartsWith(std::size_t at, std::string_view what) const {
  return n_ - at >= what.size() && std::memcmp(s_ + at, what.data(), what.size()) == 0;
}

std::size_t XmlLexer::After(std::size_t from, std::string_view what) const {
  const std::string_view all(s_, n_);
  const auto at = all.find(what, from);
  return at == std::string_view::npos ? at : at + what.size();
}

void XmlLexer::SkipSpace() {
  while (pos_ < n_ && IsXmlSpace(s_[pos_])) ++pos_;
}

bool XmlLexer::ScanName(std::string_view& name) {
  const std::size_t begin = pos_;
  if (pos_ >= n_ || !IsXmlNameStart(static_cast<unsigned char>(s_[pos_]))) return false;
  ++pos_;
  while (pos_ < n_ && IsXmlNameChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  name = std::string_view(s_ + begin, pos_ - begin);
  return true;
}

bool XmlLexer::SkipComment() {
  const auto end = After(pos_ + 4, "-->");
  if (end == std::string_view::npos) return Fail("unterminated comment");
  pos_ = end;
  return true;
}

bool XmlLexer::SkipPi() {
  pos_ += 2;
  std::string_view target;
  if (!ScanName(target)) return Fail("bad processing instruction");
  if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
      (target[2] | 0x20) == 'l')
    return Fail("misplaced XML declaration");
  const auto end = After(pos_, "?>");
  if (end == std::string_view::npos) return Fail("unterminated processing instruction");
  pos_ = end;
  return true;
}

bool XmlLexer::SkipDoctype() {
  pos_ += 9;
  char quote = 0;
  int depth = 0;
  while (pos_ < n_) {
    const char c = s_[pos_];
    if (quote != 0) {
      if (c == quote) quote = 0;
      ++pos_;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '<' && depth > 0 && StartsWith(pos_, "<!--")) {
      if (!SkipComment()) return false;
      continue;
    } else if (c == '<' && depth > 0 && StartsWith(pos_, "<?")) {
      const auto end = After(pos_ + 2, "?>");
      if (end == std::string_view::npos) return Fail("unterminated processing instruction");
      pos_ = end;
      continue;
    } else if (c == '>' && depth <= 0) {
      ++pos_;
      return true;
    }
    ++pos_;
  }
  return Fail("unterminated document type declaration");
}

bool XmlLexer::ScanProlog() {
  pos_ = from_;
  if (StartsWith(from_, "<?xml") && n_ > from_ + 5 && IsXmlSpace(s_[from_ + 5])) {
    const auto end = After(from_ + 5, "?>");
    if (end == std::string_view::npos) return Fail("unterminated XML declaration");
    pos_ = end;
  }
  bool doctype = false;
  for (;;) {
    SkipSpace();
    if (pos_ >= n_) return Fail("no root element");
    if (StartsWith(pos_, "<!--")) {
      if (!SkipComment()) return false;
    } else if (StartsWith(pos_, "<?")) {
      if (!SkipPi()) return false;
    } else if (StartsWith(pos_, "<!DOCTYPE")) {
      if (doctype) return Fail("second document type declaration");
      doctype = true;
      if (!SkipDoctype()) return false;
    } else if (s_[pos_] == '<') {
      return true;
    } else {
      return Fail("text before the root element");
    }
  }
}

// 0: only predefined entities and character references; 1: a reference to
// another entity; -1: malformed.
int XmlLexer::CheckReferences(std::size_t begin, std::size_t end) const {
  int result = 0;
  const char* p = s_ + begin;
  const char* const stop = s_ + end;
  while ((p = static_cast<const char*>(std::memchr(p, '&', stop - p))) != nullptr) {
    const char* q = p + 1;
    if (q < stop && *q == '#') {
      ++q;
      const bool hex = q < stop && *q == 'x';
      if (hex) ++q;
      const char* digits = q;
      while (q < stop && ((*q >= '0' && *q <= '9') ||
                          (hex && ((*q >= 'a' && *q <= 'f') || (*q >= 'A' && *q <= 'F')))))
        ++q;
      if (q == digits || q >= stop || *q != ';') return -1;
      std::string decoded;
      if (!DecodeValue(std::string_view(p, q + 1 - p), ValueContext::kText, decoded)) return -1;
    } else {
      if (q >= stop || !IsXmlNameStart(static_cast<unsigned char>(*q))) return -1;
      const char* nameBegin = q;
      while (q < stop && IsXmlNameChar(static_cast<unsigned char>(*q))) ++q;
      if (q >= stop || *q != ';') return -1;
      const std::string_view name(nameBegin, q - nameBegin);
      if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot")
        result = 1;
    }
    p = q + 1;
  }
  return result;
}

bool XmlLexer::StartTag() {
  ++pos_;
  if (!ScanName(name_)) return Fail("bad element name");
  attributes_.clear();
  selfClosing_ = false;
  for (;;) {
    const std::size_t before = pos_;
    SkipSpace();
    if (pos_ >= n_) return Fail("unterminated start tag");
    if (s_[pos_] == '>') {
      ++pos_;
      break;
    }
    if (s_[pos_] == '/') {
      if (pos_ + 1 >= n_ || s_[pos_ + 1] != '>') return Fail("bad start tag");
      pos_ += 2;
      selfClosing_ = true;
      break;
    }
    if (before == pos_) return Fail("attributes need blanks between them");
    XmlAttribute a;
    if (!ScanName(a.name)) return Fail("bad attribute name");
    SkipSpace();
    if (pos_ >= n_ || s_[pos_] != '=') return Fail("attribute without a value");
    ++pos_;
    SkipSpace();
    if (pos_ >= n_ || (s_[pos_] != '"' && s_[pos_] != '\'')) return Fail("unquoted attribute");
    a.quote = s_[pos_++];
    const char* close = static_cast<const char*>(std::memchr(s_ + pos_, a.quote, n_ - pos_));
    if (close == nullptr) return Fail("unterminated attribute value");
    a.valueBegin = pos_;
    a.valueLength = close - (s_ + pos_);
    if (std::memchr(s_ + pos_, '<', a.valueLength) != nullptr) return Fail("'<' in attribute");
    if (CheckReferences(a.valueBegin, a.valueBegin + a.valueLength) < 0)
      return Fail("malformed reference in attribute");
    pos_ = close - s_ + 1;
    attributes_.push_back(a);
  }
  if (attributes_.size() > 1) {
    if (attributes_.size() <= 32) {
      for (std::size_t i = 1; i < attributes_.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
          if (attributes_[i].name == attributes_[j].name) return Fail("attribute given twice");
    } else {
      std::unordered_set<std::string_view> names;
      for (const XmlAttribute& a : attributes_)
        if (!names.insert(a.name).second) return Fail("attribute given twice");
    }
  }
  if (open_.empty()) {
    if (rootSeen_) return Fail("second root element");
    rootSeen_ = true;
  }
  if (!selfClosing_) open_.push_back(name_);
  return true;
}

bool XmlLexer::EndTag() {
  pos_ += 2;
  if (!ScanName(name_)) return Fail("bad end tag");
  SkipSpace();
  if (pos_ >= n_ || s_[pos_] != '>') return Fail("bad end tag");
  ++pos_;
  if (open_.empty() || open_.back() != name_) return Fail("mismatched end tag");
  open_.pop_back();
  return true;
}

XmlLexer::Token XmlLexer::ScanEpilog() {
  for (;;) {
    SkipSpace();
    if (pos_ >= n_) {
      done_ = true;
      return Token::kEnd;
    }
    if (StartsWith(pos_, "<!--")) {
      if (!SkipComment()) return Error();
    } else if (StartsWith(pos_, "<?")) {
      if (!SkipPi()) return Error();
    } else {
      Fail("content after the root element");
      return Error();
    }
  }
}

XmlLexer::Token XmlLexer::Next() {
  if (!error_.empty()) return Token::kError;
  if (done_) return Token::kEnd;
  if (open_.empty() && rootSeen_) return ScanEpilog();
  begin_ = pos_;
  if (pos_ >= n_) {
    if (open_.empty()) {
      Fail("no root element");
    } else {
      Fail("unclosed element <" + std::string(open_.back()) + ">");
    }
    return Error();
  }
  if (s_[pos_] != '<') {
    const char* lt = static_cast<const char*>(std::memchr(s_ + pos_, '<', n_ - pos_));
    const std::size_t end = lt == nullptr ? n_ : lt - s_;
    if (open_.empty()) {
      Fail("text outside the root element");
      return Error();
    }
    const int refs = CheckReferences(pos_, end);
    if (refs < 0) {
      Fail("malformed reference");
      return Error();
    }
    entity_ = refs > 0;
    pos_ = end;
    return Token::kText;
  }
  if (pos_ + 1 >= n_) {
    Fail("unterminated markup");
    return Error();
  }
  const char next = s_[pos_ + 1];
  if (next == '/') return EndTag() ? Token::kEndTag : Error();
  if (next == '!') {
    if (open_.empty()) {
      Fail("markup outside the root element");
      return Error();
    }
    if (StartsWith(pos_, "<!--")) return SkipComment() ? Token::kComment : Error();
    if (StartsWith(pos_, "<![CDATA[")) {
      contentBegin_ = pos_ + 9;
      const auto end = After(contentBegin_, "]]>");
      if (end == std::string_view::npos) {
        Fail("unterminated CDATA section");
        return Error();
      }
      contentEnd_ = end - 3;
      pos_ = end;
      return Token::kCdata;
    }
    Fail("bad markup");
    return Error();
  }
  if (next == '?') {
    if (open_.empty()) {
      Fail("markup outside the root element");
      return Error();
    }
    return SkipPi() ? Token::kPi : Error();
  }
  return StartTag() ? Token::kStartTag : Error();
}

}  // namespace metashelf::model
