// RecordEditor: changes values of a well-formed record's text in place,
// leaving every other byte as it was. Values are addressed by node paths
// ("/gmd:MD_Metadata/gmd:fileIdentifier/gco:CharacterString",
// "/metadata/idinfo/citation/citeinfo/title", ".../@codeListValue") whose
// prefixes are those of the given namespace table; elements match by
// namespace URI and local name whatever prefix the record writes. Missing
// elements are created, in the schema's sibling order when the schema knows
// them, with the record's own prefixes (or a declaration of their own).
#ifndef METASHELF_MODEL_RECORD_EDITOR_H_
#define METASHELF_MODEL_RECORD_EDITOR_H_

#include <string>
#include <utility>
#include <vector>

#include "schema_impl.h"

namespace metashelf::model {

class RecordEditor {
 public:
  using Namespaces = std::vector<std::pair<std::string, std::string>>;  // prefix, URI

  RecordEditor(std::string xml, const SchemaModel* model, Namespaces namespaces);

  // Replaces the value of the first occurrence of `path`, creating it (and
  // its missing ancestors) when absent.
  bool SetValue(const std::string& path, const std::string& value);
  // Creates `path` with `value` only when the record has no such node.
  bool SetIfAbsent(const std::string& path, const std::string& value);
  // Adds one more occurrence of the last `span` elements of `path` (for
  // ".../gmd:keyword/gco:CharacterString" a span of 2 adds a gmd:keyword)
  // under the first occurrence of the rest, unless an occurrence of `path`
  // already holds `value`.
  bool AddValue(const std::string& path, const std::string& value, std::size_t span);

  const std::string& Text() const { return xml_; }
  const std::string& Error() const { return error_; }

 private:
  struct Step {
    std::string prefix;
    std::string uri;
    std::string local;
    bool attribute = false;
  };
  struct Element {
    int parent = -1;
    std::string qname;
    std::string uri;
    std::string local;
    std::size_t begin = 0;        // '<' of the start tag
    std::size_t startTagEnd = 0;  // just after the start tag's '>'
    bool selfClosing = false;
    std::size_t contentEnd = 0;  // '<' of the end tag (startTagEnd - 2 when self-closing)
    std::vector<std::pair<std::string, std::string>> declared;  // prefix, URI
    struct Attr {
      std::string name;
      std::size_t valueBegin;
      std::size_t valueLength;
      char quote;
    };
    std::vector<Attr> attrs;
    bool hasChildElement = false;
  };

  bool ParsePath(const std::string& path, std::vector<Step>& steps);
  bool Index();
  // Elements matching steps[0..depth) as a chain from the root; first match.
  int FindChain(const std::vector<Step>& steps, std::size_t depth) const;
  std::vector<int> FindAll(const std::vector<Step>& steps, std::size_t depth) const;
  std::string Qualify(int scope, const Step& step, std::string& declarations) const;
  std::size_t InsertionPoint(int parent, const std::vector<Step>& steps, std::size_t depth);
  bool InsertChain(int parent, const std::vector<Step>& steps, std::size_t from,
                   const std::string& value);
  bool ReplaceContent(int element, const std::string& value, bool attribute, const Step& attrStep);
  std::string ElementValue(int element) const;
  int SchemaIndex(const std::vector<Step>& steps, std::size_t depth) const;

  std::string xml_;
  const SchemaModel* model_;
  Namespaces namespaces_;
  std::vector<Element> elements_;
  std::string error_;
};

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_RECORD_EDITOR_H_
