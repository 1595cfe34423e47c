// XML written by the CSW interface (csw_output.h).
#include "csw/csw_output.h"

#include <cstdio>
#include <sstream>

#include "metashelf/base/numbers.h"

namespace metashelf::server::csw {
namespace {

// Text as XML 1.0 may hold it: control characters other than tab and line
// breaks become blanks.
std::string XmlText(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
  }
  return out;
}

void Add(pugi::xml_node parent, const char* name, const std::string& value) {
  parent.append_child(name).text().set(XmlText(value).c_str());
}

std::string Number(double v) {
  return base::ShortestDouble(v);
}

}  // namespace

std::string ExceptionReport(const CswError& error) {
  pugi::xml_document doc;
  auto decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  pugi::xml_node report = doc.append_child("ows:ExceptionReport");
  report.append_attribute("xmlns:ows") = kOwsNs;
  report.append_attribute("version") = "1.2.0";
  report.append_attribute("language") = "en";
  pugi::xml_node e = report.append_child("ows:Exception");
  e.append_attribute("exceptionCode") = error.code.c_str();
  if (!error.locator.empty()) e.append_attribute("locator") = error.locator.c_str();
  Add(e, "ows:ExceptionText", error.text);
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

void AppendDublinCore(pugi::xml_node parent, const RecordView& r, ElementSet set) {
  const char* name = set == ElementSet::kBrief     ? "csw:BriefRecord"
                     : set == ElementSet::kSummary ? "csw:SummaryRecord"
                                                   : "csw:Record";
  pugi::xml_node rec = parent.append_child(name);
  Add(rec, "dc:identifier", std::to_string(r.id));
  Add(rec, "dc:title", r.title);
  Add(rec, "dc:type", r.type.empty() ? "dataset" : r.type);
  if (set != ElementSet::kBrief) {
    for (const std::string& k : r.keywords) Add(rec, "dc:subject", k);
    if (!r.modified.empty()) Add(rec, "dct:modified", r.modified);
    if (!r.abstract.empty()) Add(rec, "dct:abstract", r.abstract);
  }
  if (set == ElementSet::kFull) {
    for (const std::string& c : r.creators) Add(rec, "dc:creator", c);
    if (!r.date.empty()) Add(rec, "dc:date", r.date);
    for (const std::string& l : r.links) {
      pugi::xml_node ref = rec.append_child("dct:references");
      ref.append_attribute("scheme") = "WWW:LINK";
      ref.text().set(XmlText(l).c_str());
    }
    Add(rec, "dc:source", r.collection);
  }
  if (r.hasBox) {
    pugi::xml_node box = rec.append_child("ows:BoundingBox");
    box.append_attribute("crs") = "urn:ogc:def:crs:OGC:1.3:CRS84";
    box.append_attribute("dimensions") = "2";
    Add(box, "ows:LowerCorner", Number(r.west) + " " + Number(r.south));
    Add(box, "ows:UpperCorner", Number(r.east) + " " + Number(r.north));
  }
}

std::vector<std::string> NativeSchemaNames(OpenCollection& collection,
                                           const std::string& schemaText) {
  std::vector<std::string> names;
  const std::string root = collection.RootElement();
  const auto colon = root.find(':');
  if (colon != std::string::npos) {
    const std::string prefix = root.substr(0, colon);
    pugi::xml_document doc;
    if (doc.load_string(schemaText.c_str(), pugi::parse_default & ~pugi::parse_doctype)) {
      for (pugi::xml_node ns : doc.document_element().children("namespace")) {
        if (prefix == ns.attribute("prefix").as_string()) {
          names.emplace_back(ns.attribute("uri").as_string());
        }
      }
    }
  } else if (root == "metadata") {
    // Records of an unqualified <metadata> are known to catalog clients by
    // this name.
    names.emplace_back("http://www.opengis.net/cat/csw/csdgm");
  }
  if (!root.empty()) names.push_back(root);
  return names;
}

void PlaceRecord(pugi::xml_node parent, std::size_t index) {
  parent.append_child(pugi::node_comment)
      .set_value(("metashelf-record-" + std::to_string(index)).c_str());
}

std::string Serialize(const pugi::xml_document& doc, const std::vector<std::string>& records) {
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  std::string text = out.str();
  // Placeholders stand in document order; each search starts after the
  // record placed before, whose bytes are never searched.
  std::size_t from = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string mark = "<!--metashelf-record-" + std::to_string(i) + "-->";
    const auto at = text.find(mark, from);
    if (at == std::string::npos) continue;
    const std::string record = WithoutDeclaration(records[i]);
    text.replace(at, mark.size(), record);
    from = at + record.size();
  }
  return text;
}

}  // namespace metashelf::server::csw
