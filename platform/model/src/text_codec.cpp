// Record bytes to UTF-8: encoding detection, conversion and validation.
#include "text_codec.h"

#include <cstdint>
#include <cstring>

namespace metashelf::model {
namespace {

// windows-1252 code points of bytes 0x80..0x9F (0 where the code page has
// no character).
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool XmlAllowsCodePoint(unsigned cp) {
  if (cp < 0x20) return cp == 0x9 || cp == 0xA || cp == 0xD;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  if (cp == 0xFFFE || cp == 0xFFFF) return false;
  return cp <= 0x10FFFF;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The encoding pseudo-attribute of an XML declaration at the start of an
// ASCII-compatible text, or "" when there is none.
std::string DeclaredEncoding(const char* data, std::size_t length) {
  if (length < 6 || std::memcmp(data, "<?xml", 5) != 0) return "";
  std::size_t end = 5;
  while (end + 1 < length && !(data[end] == '?' && data[end + 1] == '>') && end < 512) ++end;
  const std::string decl(data, end);
  const auto at = decl.find("encoding");
  if (at == std::string::npos) return "";
  std::size_t i = at + 8;
  while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' ||
                             decl[i] == '\n' || decl[i] == '='))
    ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return "";
  const char quote = decl[i];
  const auto close = decl.find(quote, i + 1);
  if (close == std::string::npos) return "";
  return decl.substr(i + 1, close - i - 1);
}

bool DecodeUtf16(const unsigned char* p, std::size_t length, bool bigEndian, DecodedText& decoded,
                 std::string& error) {
  std::string& out = decoded.converted;
  if (length % 2 != 0) {
    error = "UTF-16 text of odd length";
    return false;
  }
  out.reserve(length / 2 + length / 8);
  for (std::size_t i = 0; i < length; i += 2) {
    unsigned unit = bigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
    unsigned cp = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= length) {
        error = "unpaired UTF-16 surrogate";
        return false;
      }
      const unsigned low = bigEndian ? (p[i + 2] << 8 | p[i + 3]) : (p[i + 3] << 8 | p[i + 2]);
      if (low < 0xDC00 || low > 0xDFFF) {
        error = "unpaired UTF-16 surrogate";
        return false;
      }
      cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      error = "unpaired UTF-16 surrogate";
      return false;
    }
    if (!XmlAllowsCodePoint(cp)) {
      error = "character not allowed in XML (U+" + std::to_string(cp) + ")";
      return false;
    }
    AppendUtf8(out, cp);
  }
  decoded.text = out;
  return true;
}

bool DecodeSingleByte(const unsigned char* p, std::size_t length, bool cp1252, DecodedText& decoded,
                      std::string& error) {
  std::string& out = decoded.converted;
  out.reserve(length + length / 16);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned cp = p[i];
    if (cp1252 && cp >= 0x80 && cp <= 0x9F) {
      cp = kCp1252High[cp - 0x80];
      if (cp == 0) {
        error = "byte with no windows-1252 character";
        return false;
      }
    }
    if (!XmlAllowsCodePoint(cp)) {
      error = "character not allowed in XML at byte " + std::to_string(i);
      return false;
    }
    AppendUtf8(out, cp);
  }
  decoded.text = out;
  return true;
}

}  // namespace

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsXmlUtf8(const char* text, std::size_t length, std::size_t& badAt) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  std::size_t i = 0;
  while (i < length) {
    // Eight ASCII bytes at a time; control characters among them must be
    // tab, line feed or carriage return.
    while (i + 8 <= length) {
      std::uint64_t v;
      std::memcpy(&v, p + i, 8);
      constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
      if ((v & kHigh) != 0) break;
      if (((v - 0x2020202020202020ULL) & ~v & kHigh) != 0) {
        for (int k = 0; k < 8; ++k) {
          const unsigned char b = p[i + k];
          if (b < 0x20 && b != 0x9 && b != 0xA && b != 0xD) {
            badAt = i + k;
            return false;
          }
        }
      }
      i += 8;
    }
    if (i >= length) break;
    const unsigned char c = p[i];
    if (c < 0x80) {
      if (c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) {
        badAt = i;
        return false;
      }
      ++i;
      continue;
    }
    unsigned cp;
    std::size_t n;
    if (c >= 0xC2 && c <= 0xDF) {
      cp = c & 0x1F;
      n = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      cp = c & 0x0F;
      n = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      cp = c & 0x07;
      n = 3;
    } else {
      badAt = i;
      return false;
    }
    if (i + n >= length) {
      badAt = i;
      return false;
    }
    for (std::size_t k = 1; k <= n; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) {
        badAt = i;
        return false;
      }
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    const unsigned minimum = n == 1 ? 0x80 : n == 2 ? 0x800 : 0x10000;
    if (cp < minimum || !XmlAllowsCodePoint(cp)) {
      badAt = i;
      return false;
    }
    i += n + 1;
  }
  return true;
}

bool DecodeRecordBytes(const char* data, std::size_t length, DecodedText& out, std::string& error) {
  out.text = std::string_view();
  out.converted.clear();
  out.encoding.clear();
  out.utf8Bom = false;
  if (data == nullptr || length == 0) {
    error = "empty record";
    return false;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  if (length >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
    out.encoding = "UTF-16";
    return DecodeUtf16(p + 2, length - 2, p[0] == 0xFE, out, error);
  }
  if (length >= 4 && p[0] == '<' && p[1] == 0 && p[2] == '?' && p[3] == 0) {
    out.encoding = "UTF-16";
    return DecodeUtf16(p, length, false, out, error);
  }
  if (length >= 4 && p[0] == 0 && p[1] == '<' && p[2] == 0 && p[3] == '?') {
    out.encoding = "UTF-16";
    return DecodeUtf16(p, length, true, out, error);
  }
  std::size_t start = 0;
  if (length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    out.utf8Bom = true;
    start = 3;
  }
  const std::string declared = DeclaredEncoding(data + start, length - start);
  const std::string label = Lower(declared);
  if (label.empty() || label == "utf-8" || label == "utf8" || label == "us-ascii" ||
      label == "ascii") {
    std::size_t bad = 0;
    if (!IsXmlUtf8(data + start, length - start, bad)) {
      error =
          "invalid UTF-8 or a character not allowed in XML at byte " + std::to_string(bad + start);
      return false;
    }
    out.text = std::string_view(data + start, length - start);
    return true;
  }
  if (out.utf8Bom) {
    error = "byte-order mark of UTF-8 on a record declared as " + declared;
    return false;
  }
  if (label == "iso-8859-1" || label == "latin1" || label == "iso_8859-1" || label == "l1" ||
      label == "iso8859-1") {
    out.encoding = declared;
    return DecodeSingleByte(p, length, false, out, error);
  }
  if (label == "windows-1252" || label == "cp1252") {
    out.encoding = declared;
    return DecodeSingleByte(p, length, true, out, error);
  }
  error = "unsupported encoding '" + declared + "'";
  return false;
}

}  // namespace metashelf::model
