// Filter XML to a constraint tree (filter_xml.h).
#include "core/filter_xml.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "metashelf/base/numbers.h"

namespace metashelf::server {

const char* LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

pugi::xml_node ChildByLocalName(const pugi::xml_node& parent, const char* local) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && std::strcmp(LocalName(c.name()), local) == 0) return c;
  }
  return pugi::xml_node();
}

namespace {

std::string Trimmed(const char* text) {
  std::string s(text);
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool Corner(const pugi::xml_node& node, double* x, double* y) {
  std::istringstream in(Trimmed(node.child_value()));
  in.imbue(std::locale::classic());
  std::string a;
  std::string b;
  std::string rest;
  if (!(in >> a >> b) || (in >> rest)) return false;
  return base::ParseDouble(a, x) && base::ParseDouble(b, y);
}

// Reference systems written as URNs of EPSG 4326 put latitude first; plain
// "EPSG:4326", CRS84 and no name put longitude first.
bool LatitudeFirst(const std::string& srs) {
  return srs.find("urn:") == 0 && srs.find("4326") != std::string::npos &&
         srs.find("CRS84") == std::string::npos;
}

class XmlReader {
 public:
  explicit XmlReader(FilterError* error) : error_(error) {}

  bool Read(const pugi::xml_node& node, Filter* out, int depth) {
    if (depth > kMaxFilterDepth) return Fail("the constraint is nested too deeply");
    const std::string name = LocalName(node.name());
    if (name == "And" || name == "Or" || name == "Not") {
      std::vector<Filter> parts;
      for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        parts.emplace_back();
        if (!Read(c, &parts.back(), depth + 1)) return false;
      }
      if (name == "Not" ? parts.size() != 1 : parts.size() < 2) {
        return Fail(name + " takes " + (name == "Not" ? "one operand" : "two or more operands"));
      }
      *out = Filter::Combine(name == "And"  ? Filter::Kind::kAnd
                             : name == "Or" ? Filter::Kind::kOr
                                            : Filter::Kind::kNot,
                             std::move(parts));
      return true;
    }
    static const std::pair<const char*, const char*> kCompare[] = {
        {"PropertyIsEqualTo", "="},     {"PropertyIsNotEqualTo", "<>"},
        {"PropertyIsLessThan", "<"},    {"PropertyIsLessThanOrEqualTo", "<="},
        {"PropertyIsGreaterThan", ">"}, {"PropertyIsGreaterThanOrEqualTo", ">="},
    };
    Filter f;
    for (const auto& [element, op] : kCompare) {
      if (name != element) continue;
      f.kind = Filter::Kind::kCompare;
      f.op = op;
      return Property(node, &f.property) && Literal(node, &f.value) && Done(&f, out);
    }
    if (name == "PropertyIsLike") {
      f.kind = Filter::Kind::kLike;
      std::string pattern;
      if (!Property(node, &f.property) || !Literal(node, &pattern)) return false;
      const char* wild = node.attribute("wildCard").as_string("*");
      const char* single = node.attribute("singleChar").as_string("?");
      const char* escape =
          node.attribute("escapeChar").as_string(node.attribute("escape").as_string("\\"));
      if (std::strlen(wild) != 1 || std::strlen(single) != 1 || std::strlen(escape) > 1) {
        return Fail("PropertyIsLike takes one character for each wildcard");
      }
      f.value = NormalizeLikePattern(pattern, wild[0], single[0], escape[0]);
      return Done(&f, out);
    }
    if (name == "PropertyIsBetween") {
      f.kind = Filter::Kind::kBetween;
      if (!Property(node, &f.property)) return false;
      const pugi::xml_node lower = ChildByLocalName(node, "LowerBoundary");
      const pugi::xml_node upper = ChildByLocalName(node, "UpperBoundary");
      if (!lower || !upper) return Fail("PropertyIsBetween needs LowerBoundary and UpperBoundary");
      return Literal(lower, &f.value) && Literal(upper, &f.value2) && Done(&f, out);
    }
    if (name == "PropertyIsNull") {
      f.kind = Filter::Kind::kIsNull;
      return Property(node, &f.property) && Done(&f, out);
    }
    if (name == "BBOX") {
      f.kind = Filter::Kind::kBBox;
      const pugi::xml_node property = ChildByLocalName(node, "PropertyName");
      f.property = property ? Trimmed(property.child_value()) : "ows:BoundingBox";
      const pugi::xml_node envelope = ChildByLocalName(node, "Envelope");
      if (!envelope) return Fail("BBOX needs a gml:Envelope");
      double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      if (!Corner(ChildByLocalName(envelope, "lowerCorner"), &x1, &y1) ||
          !Corner(ChildByLocalName(envelope, "upperCorner"), &x2, &y2)) {
        return Fail("the envelope needs lowerCorner and upperCorner of two numbers each");
      }
      if (LatitudeFirst(envelope.attribute("srsName").as_string())) {
        std::swap(x1, y1);
        std::swap(x2, y2);
      }
      f.box[0] = x1;
      f.box[1] = y1;
      f.box[2] = x2;
      f.box[3] = y2;
      return Done(&f, out);
    }
    return Fail("the filter operator '" + name + "' is not supported");
  }

 private:
  bool Fail(const std::string& message) {
    error_->message = message;
    return false;
  }
  bool Done(Filter* f, Filter* out) {
    *out = std::move(*f);
    return true;
  }
  bool Property(const pugi::xml_node& node, std::string* out) {
    const pugi::xml_node p = ChildByLocalName(node, "PropertyName");
    if (!p) return Fail(std::string(LocalName(node.name())) + " needs a PropertyName");
    *out = Trimmed(p.child_value());
    if (out->empty()) return Fail("empty PropertyName");
    return true;
  }
  bool Literal(const pugi::xml_node& node, std::string* out) {
    const pugi::xml_node l = ChildByLocalName(node, "Literal");
    if (!l) return Fail(std::string(LocalName(node.name())) + " needs a Literal");
    *out = l.text().as_string();
    return true;
  }

  FilterError* error_;
};

}  // namespace

bool ParseFilterXml(const pugi::xml_node& filter, Filter* out, FilterError* error) {
  std::vector<pugi::xml_node> children;
  for (pugi::xml_node c = filter.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element) children.push_back(c);
  }
  if (children.size() != 1) {
    error->message = "a Filter holds exactly one operator";
    return false;
  }
  Filter f;
  XmlReader reader(error);
  if (!reader.Read(children.front(), &f, 1) || !CheckFilterBounds(f, error)) return false;
  *out = std::move(f);
  return true;
}

}  // namespace metashelf::server
