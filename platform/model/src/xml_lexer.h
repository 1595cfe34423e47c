// XmlLexer: the one scanner of record text. It walks UTF-8 XML once, checks
// that it is well-formed (names, tags, attributes, references, nesting, one
// root, nothing but comments and processing instructions around it) and
// hands out tokens as byte offsets into the text, so that callers can splice
// or copy the text around them. It knows nothing of namespaces or schemas:
// the record decomposer and the record editor add those. Iterative: nesting
// depth costs heap, never stack. The document type declaration is skipped as
// it stands; nothing it names is fetched and its entities are never expanded.
#ifndef METASHELF_MODEL_XML_LEXER_H_
#define METASHELF_MODEL_XML_LEXER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace metashelf::model {

// Bytes that may start an XML name, and that may continue one. Bytes of
// multi-byte UTF-8 characters count as name characters.
bool IsXmlNameStart(unsigned char c);
bool IsXmlNameChar(unsigned char c);

struct XmlAttribute {
  std::string_view name;   // as written, prefix included
  std::size_t valueBegin;  // first byte of the value, inside the quotes
  std::size_t valueLength;
  char quote;  // '"' or '\''
};

class XmlLexer {
 public:
  enum class Token {
    kStartTag,  // name(), attributes(), selfClosing(); begin() is its '<'
    kEndTag,    // name(); begin() is its '<'
    kText,      // character data in [begin(), end())
    kCdata,     // a CDATA section; its content is [contentBegin(), contentEnd())
    kComment,   // a comment inside the root element
    kPi,        // a processing instruction inside the root element
    kEnd,       // the root element closed and only comments, processing
                // instructions and blanks followed
    kError,     // error() says what and where; every later call repeats it
  };

  // Scans `text` from byte `from` on (a caller skips a byte-order mark that
  // way). The text must outlive the lexer.
  explicit XmlLexer(std::string_view text, std::size_t from = 0);

  // Passes the XML declaration (only at `from`), comments, processing
  // instructions and one document type declaration before the root. True
  // with position() at the root's '<'; false with error() set.
  bool ScanProlog();

  // The next token of the root element's content (call ScanProlog first).
  Token Next();

  // Span of the last token: from its first byte to just after its last.
  std::size_t begin() const { return begin_; }
  std::size_t end() const { return pos_; }
  std::size_t position() const { return pos_; }

  // The tag's name (kStartTag, kEndTag).
  std::string_view name() const { return name_; }
  // The attributes of the last start tag, in the order written; no name
  // appears twice.
  const std::vector<XmlAttribute>& attributes() const { return attributes_; }
  // Whether the last start tag was "<name .../>" (no end tag follows).
  bool selfClosing() const { return selfClosing_; }
  // Whether the last kText holds a reference to an entity other than the
  // five predefined ones (left unexpanded).
  bool entityReference() const { return entity_; }
  std::size_t contentBegin() const { return contentBegin_; }
  std::size_t contentEnd() const { return contentEnd_; }
  // Elements open after the last token (the root counts).
  std::size_t depth() const { return open_.size(); }

  // "what at byte N" after a failure.
  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& what);
  bool StartsWith(std::size_t at, std::string_view what) const;
  std::size_t After(std::size_t from, std::string_view what) const;
  void SkipSpace();
  bool ScanName(std::string_view& name);
  bool SkipComment();
  bool SkipPi();
  bool SkipDoctype();
  int CheckReferences(std::size_t begin, std::size_t end) const;
  bool StartTag();
  bool EndTag();
  Token ScanEpilog();
  Token Error();

  const char* s_;
  std::size_t n_;
  std::size_t from_;
  std::size_t pos_;
  std::size_t begin_ = 0;
  std::string_view name_;
  std::vector<XmlAttribute> attributes_;
  bool selfClosing_ = false;
  bool entity_ = false;
  std::size_t contentBegin_ = 0;
  std::size_t contentEnd_ = 0;
  std::vector<std::string_view> open_;
  bool rootSeen_ = false;
  bool done_ = false;
  std::string error_;
};

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_XML_LEXER_H_
