// Turns the bytes of a record into UTF-8 text: finds the encoding from the
// byte-order mark or the XML declaration (UTF-8, UTF-16 LE/BE, ISO-8859-1,
// windows-1252, US-ASCII), converts, and checks that the result is valid
// UTF-8 without characters that XML forbids.
#ifndef METASHELF_MODEL_TEXT_CODEC_H_
#define METASHELF_MODEL_TEXT_CODEC_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace metashelf::model {

// The text views the caller's bytes when they were UTF-8 already, and
// `converted` otherwise; so it lives no longer than those bytes, and it is
// neither copied nor moved (a move could leave the view behind).
struct DecodedText {
  DecodedText() = default;
  DecodedText(const DecodedText&) = delete;
  DecodedText& operator=(const DecodedText&) = delete;

  std::string_view text;  // UTF-8, byte-order mark removed
  std::string converted;
  std::string encoding;  // the encoding label the source used ("" when UTF-8)
  bool utf8Bom = false;  // the source was UTF-8 with a byte-order mark
};

// Decodes `length` bytes. Returns false with `error` set for an unknown
// encoding, malformed UTF-8/UTF-16, or a character XML does not allow
// (NUL and other C0 controls except tab, line feed and carriage return).
bool DecodeRecordBytes(const char* data, std::size_t length, DecodedText& out, std::string& error);

// True when `text` is valid UTF-8 holding only characters XML allows; the
// byte offset of the first bad byte goes to `badAt` otherwise.
bool IsXmlUtf8(const char* text, std::size_t length, std::size_t& badAt);

// Appends the UTF-8 form of code point `cp` (which must be valid).
void AppendUtf8(std::string& out, unsigned cp);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_TEXT_CODEC_H_
