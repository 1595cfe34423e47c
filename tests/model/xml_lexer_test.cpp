// The record lexer's tokens and refusals, and the record editor that reads
// records with it: what one accepts the other accepts, the same way.
#include "xml_lexer.h"

#include <gtest/gtest.h>

#include <string>

#include "record_editor.h"

namespace {

using metashelf::model::RecordEditor;
using metashelf::model::XmlLexer;

// The tokens of `xml` as one line ("<a", "</a", "t", "c", "!", "?"), or
// "error: <message>" when the lexer refuses it.
std::string Tokens(const std::string& xml) {
  XmlLexer lexer(xml);
  if (!lexer.ScanProlog()) return "error: " + lexer.error();
  std::string out;
  for (;;) {
    std::string token;
    switch (lexer.Next()) {
      case XmlLexer::Token::kStartTag:
        token = "<" + std::string(lexer.name());
        for (const auto& a : lexer.attributes()) {
          token += " " + std::string(a.name) + "=" + xml.substr(a.valueBegin, a.valueLength);
        }
        if (lexer.selfClosing()) token += "/";
        break;
      case XmlLexer::Token::kEndTag:
        token = "</" + std::string(lexer.name());
        break;
      case XmlLexer::Token::kText:
        token = lexer.entityReference() ? "t&" : "t";
        break;
      case XmlLexer::Token::kCdata:
        token = "c:" + xml.substr(lexer.contentBegin(), lexer.contentEnd() - lexer.contentBegin());
        break;
      case XmlLexer::Token::kComment:
        token = "!";
        break;
      case XmlLexer::Token::kPi:
        token = "?";
        break;
      case XmlLexer::Token::kEnd:
        return out;
      case XmlLexer::Token::kError:
        return "error: " + lexer.error();
    }
    out += out.empty() ? token : " " + token;
  }
}

TEST(XmlLexerTest, TokensAndRefusals) {
  const struct {
    const char* xml;
    const char* tokens;
  } kCases[] = {
      {"<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e 'x'>]><!--c--><r/>", "<r/"},
      {"<r a='1' b=\"&lt;\"><x:v>t&amp;u</x:v><![CDATA[<]]><!--c--><?p d?></r><!--e-->",
       "<r a=1 b=&lt; <x:v t </x:v c:< ! ? </r"},
      {"<r>&ent;</r>", "<r t& </r"},
      {"<r></r >", "<r </r"},
      {"", "error: no root element at byte 0"},
      {"x<r/>", "error: text before the root element at byte 0"},
      {"<r></s>", "error: mismatched end tag at byte 7"},
      {"<r>", "error: unclosed element <r> at byte 3"},
      {"<r/><s/>", "error: content after the root element at byte 4"},
      {"<1r/>", "error: bad element name at byte 1"},
      {"<r -a='1'/>", "error: bad attribute name at byte 3"},
      {"<r a='1'b='2'/>", "error: attributes need blanks between them at byte 8"},
      {"<r a=1/>", "error: unquoted attribute at byte 5"},
      {"<r a/>", "error: attribute without a value at byte 4"},
      {"<r a='1' a='2'/>", "error: attribute given twice at byte 16"},
      {"<r a='<'/>", "error: '<' in attribute at byte 6"},
      {"<r a='&x'/>", "error: malformed reference in attribute at byte 6"},
      {"<r>&#xD800;</r>", "error: malformed reference at byte 3"},
      {"<r><!-- </r>", "error: unterminated comment at byte 3"},
      {"<r><![CDATA[x</r>", "error: unterminated CDATA section at byte 3"},
      {"<r><?xml v?></r>", "error: misplaced XML declaration at byte 8"},
      {"<r><!x></r>", "error: bad markup at byte 3"},
      {"<r><", "error: unterminated markup at byte 3"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Tokens(c.xml), c.tokens) << c.xml;
}

// The editor reads a record by the lexer's rules: records the lexer refuses
// are refused before anything changes, and names it refuses cannot be added.
TEST(XmlLexerTest, EditorFollowsTheLexer) {
  const RecordEditor::Namespaces ns = {{"", ""}};
  const struct {
    const char* xml;
    const char* path;
    const char* result;  // the edited text, or "error: ..." (a prefix of the editor's error)
  } kCases[] = {
      {"<r><v>a</v></r>", "/r/v", "<r><v>b</v></r>"},
      {"\xEF\xBB\xBF<r/>", "/r/v", "\xEF\xBB\xBF<r><v>b</v></r>"},
      {"<r><!--<v>--><v a='1'/></r>", "/r/v/@a", "<r><!--<v>--><v a='b'/></r>"},
      {"<r><v>a</w></r>", "/r/v", "error: the record is not well-formed: mismatched end tag"},
      {"<r/><r/>", "/r/v", "error: the record is not well-formed: content after the root"},
      {"<r><1v/></r>", "/r/v", "error: the record is not well-formed: bad element name"},
      {"<r a='1' a='2'/>", "/r/v", "error: the record is not well-formed: attribute given twice"},
      {"<r>a & b</r>", "/r/v", "error: the record is not well-formed: malformed reference"},
      {"<r/>", "/r/1v", "error: bad path /r/1v"},
      {"<r/>", "/r/v w", "error: bad path /r/v w"},
  };
  for (const auto& c : kCases) {
    RecordEditor editor(c.xml, nullptr, ns);
    const bool done = editor.SetValue(c.path, "b");
    const std::string result = done ? editor.Text() : "error: " + editor.Error();
    if (done) {
      EXPECT_EQ(result, c.result) << c.xml;
    } else {
      EXPECT_EQ(result.rfind(c.result, 0), 0u) << c.xml << " gave " << result;
      EXPECT_EQ(editor.Text(), c.xml) << "a refused edit must leave the text as it was";
    }
  }
}

}  // namespace
