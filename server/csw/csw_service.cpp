// Requests and answers of the CSW interface (csw_service.h).
#include "csw/csw_service.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <set>
#include <sstream>

#include "core/filter_xml.h"
#include "core/query_run.h"
#include "core/queryables.h"
#include "core/record_view.h"
#include "core/whole_number.h"
#include "csw/csw_output.h"

namespace metashelf::server {
namespace {

using csw::CswError;
using csw::ElementSet;

const char* const kXml = "application/xml; charset=utf-8";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> SplitList(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, sep)) {
    part = Trim(part);
    if (!part.empty()) out.push_back(part);
  }
  return out;
}

// The parameters of a request however it came: key-value pairs with keys
// lower-cased, or the parsed XML body.
struct CswRequest {
  std::string operation;
  std::map<std::string, std::string> kvp;
  pugi::xml_document xml;
  bool isXml = false;

  bool Has(const char* key) const { return kvp.count(key) != 0; }
  std::string Get(const char* key) const {
    auto it = kvp.find(key);
    return it != kvp.end() ? it->second : std::string();
  }
  pugi::xml_node root() const { return xml.document_element(); }
};

CswError Invalid(const std::string& locator, const std::string& text) {
  return CswError{400, "InvalidParameterValue", locator, text};
}
CswError Missing(const std::string& locator) {
  return CswError{400, "MissingParameterValue", locator,
                  "the parameter " + locator + " is missing"};
}

bool ParseWhole(const std::string& text, std::int64_t* out) {
  return ParseWholeNumber(Trim(text), out);
}

bool ParseElementSet(const std::string& text, ElementSet* out) {
  const std::string t = Lower(Trim(text));
  if (t == "brief")
    *out = ElementSet::kBrief;
  else if (t == "summary")
    *out = ElementSet::kSummary;
  else if (t == "full")
    *out = ElementSet::kFull;
  else
    return false;
  return true;
}

// What one search asks, from either encoding.
struct SearchParams {
  bool hits = true;
  std::int64_t start = 1;
  std::int64_t max = 10;
  std::string outputSchema = csw::kCswNs;
  ElementSet set = ElementSet::kSummary;
  std::vector<std::string> typeNames;
  Filter filter;
  std::vector<SortKey> sort;
};

class Csw {
 public:
  explicit Csw(const ServiceContext& ctx) : ctx_(ctx) {}

  void Handle(const httplib::Request& req, httplib::Response& res) const {
    CswRequest r;
    CswError error;
    if (!Read(req, &r, &error)) return SendError(res, error);
    const std::string op = r.operation;
    if (op == "GetCapabilities") return Capabilities(req, r, res);
    if (op == "DescribeRecord") return DescribeRecord(r, res);
    if (op == "GetRecords") return GetRecords(r, res);
    if (op == "GetRecordById") return GetRecordById(r, res);
    if (op == "GetDomain") return GetDomain(r, res);
    if (op == "Transaction" || op == "Harvest") {
      return SendError(res, CswError{400, "OperationNotSupported", "request",
                                     op + " is not offered: this catalog is read-only here"});
    }
    SendError(res,
              CswError{400, "OperationNotSupported", "request", "unknown request '" + op + "'"});
  }

 private:
  static void SendError(httplib::Response& res, const CswError& e) {
    res.status = e.status;
    res.set_content(csw::ExceptionReport(e), kXml);
  }

  // Fills `r` from the query string or the body.
  static bool Read(const httplib::Request& req, CswRequest* r, CswError* error) {
    const bool post = req.method == "POST";
    const std::string type = Lower(req.get_header_value("Content-Type"));
    if (!post || type.find("application/x-www-form-urlencoded") != std::string::npos) {
      for (const auto& [key, value] : req.params) r->kvp[Lower(key)] = value;
      if (!r->Has("request")) {
        *error = Missing("request");
        return false;
      }
      r->operation = r->Get("request");
      // GetCapabilities may leave out the service, never name another.
      if (r->Has("service") ? r->Get("service") != "CSW" : r->operation != "GetCapabilities") {
        *error = r->Has("service") ? Invalid("service", "service must be CSW") : Missing("service");
        return false;
      }
      if (r->operation != "GetCapabilities" && r->Has("version") && r->Get("version") != "2.0.2") {
        *error = Invalid("version", "only version 2.0.2 is offered");
        return false;
      }
      return true;
    }
    // No document type declarations: no entity of any kind is expanded.
    if (req.body.find("<!DOCTYPE") != std::string::npos ||
        req.body.find("<!ENTITY") != std::string::npos) {
      *error =
          CswError{400, "NoApplicableCode", "request", "document type declarations are refused"};
      return false;
    }
    const pugi::xml_parse_result parsed = r->xml.load_buffer(
        req.body.data(), req.body.size(), pugi::parse_default & ~pugi::parse_doctype);
    if (!parsed || !r->root()) {
      *error = CswError{400, "NoApplicableCode", "request",
                        std::string("the request body is not XML: ") + parsed.description()};
      return false;
    }
    r->isXml = true;
    r->operation = LocalName(r->root().name());
    const std::string service = r->root().attribute("service").as_string("CSW");
    if (service != "CSW") {
      *error = Invalid("service", "service must be CSW");
      return false;
    }
    const std::string version = r->root().attribute("version").as_string("2.0.2");
    if (r->operation != "GetCapabilities" && version != "2.0.2") {
      *error = Invalid("version", "only version 2.0.2 is offered");
      return false;
    }
    return true;
  }

  template <typename Body>
  void WithConnection(httplib::Response& res, Body body) const {
    std::string error;
    Lease lease = ctx_.pool->Acquire(&error);
    if (!lease) {
      return SendError(
          res, CswError{503, "NoApplicableCode", "", "the catalog cannot be opened: " + error});
    }
    body(*lease);
  }

  // Every output schema offered, each with the collections whose records it
  // gives.
  static std::map<std::string, std::vector<OpenCollection*>> OutputSchemas(Connection& conn) {
    std::map<std::string, std::vector<OpenCollection*>> out;
    for (const CollectionInfo& info : conn.Collections()) {
      OpenCollection* c = conn.FindById(info.id);
      if (c == nullptr) continue;
      out[csw::kCswNs].push_back(c);
      auto& names = c->outputSchemaNames();
      if (!names) names = csw::NativeSchemaNames(*c, c->schema().SchemaDoc());
      for (const std::string& name : *names) out[name].push_back(c);
    }
    return out;
  }

  void Capabilities(const httplib::Request& req, const CswRequest& r,
                    httplib::Response& res) const {
    if (r.Has("acceptversions")) {
      const auto versions = SplitList(r.Get("acceptversions"), ',');
      if (std::find(versions.begin(), versions.end(), "2.0.2") == versions.end()) {
        return SendError(res, CswError{400, "VersionNegotiationFailed", "acceptversions",
                                       "only version 2.0.2 is offered"});
      }
    }
    WithConnection(res, [&](Connection& conn) {
      const std::string url = ctx_.BaseUrl(req) + "/csw";
      pugi::xml_document doc;
      auto decl = doc.append_child(pugi::node_declaration);
      decl.append_attribute("version") = "1.0";
      decl.append_attribute("encoding") = "UTF-8";
      pugi::xml_node caps = doc.append_child("csw:Capabilities");
      caps.append_attribute("xmlns:csw") = csw::kCswNs;
      caps.append_attribute("xmlns:ows") = csw::kOwsNs;
      caps.append_attribute("xmlns:ogc") = csw::kOgcNs;
      caps.append_attribute("xmlns:gml") = csw::kGmlNs;
      caps.append_attribute("xmlns:xlink") = "http://www.w3.org/1999/xlink";
      caps.append_attribute("version") = "2.0.2";
      pugi::xml_node id = caps.append_child("ows:ServiceIdentification");
      id.append_child("ows:Title").text() =
          ("metashelf catalog '" + ctx_.catalogName + "'").c_str();
      id.append_child("ows:Abstract").text() =
          "Geographic metadata records of every collection of the catalog";
      id.append_child("ows:ServiceType").text() = "CSW";
      id.append_child("ows:ServiceTypeVersion").text() = "2.0.2";
      id.append_child("ows:Fees").text() = "none";
      id.append_child("ows:AccessConstraints").text() = "none";
      pugi::xml_node provider = caps.append_child("ows:ServiceProvider");
      provider.append_child("ows:ProviderName").text() = "metashelf";
      provider.append_child("ows:ServiceContact").append_child("ows:IndividualName").text() =
          "catalog operator";

      const auto schemas = OutputSchemas(conn);
      std::vector<std::string> schemaNames;
      for (const auto& [name, cs] : schemas) schemaNames.push_back(name);
      std::set<std::string> typeNames = {"csw:Record"};
      std::vector<OpenCollection*> all =
          schemas.count(csw::kCswNs) ? schemas.at(csw::kCswNs) : std::vector<OpenCollection*>();
      for (OpenCollection* c : all) typeNames.insert(c->RootElement());

      pugi::xml_node ops = caps.append_child("ows:OperationsMetadata");
      auto operation = [&](const char* name) {
        pugi::xml_node op = ops.append_child("ows:Operation");
        op.append_attribute("name") = name;
        pugi::xml_node http = op.append_child("ows:DCP").append_child("ows:HTTP");
        http.append_child("ows:Get").append_attribute("xlink:href") = (url + "?").c_str();
        pugi::xml_node post = http.append_child("ows:Post");
        post.append_attribute("xlink:href") = url.c_str();
        return op;
      };
      auto values = [](pugi::xml_node parent, const char* element, const char* name,
                       const std::vector<std::string>& list) {
        pugi::xml_node p = parent.append_child(element);
        p.append_attribute("name") = name;
        for (const std::string& v : list) p.append_child("ows:Value").text() = v.c_str();
      };
      values(operation("GetCapabilities"), "ows:Parameter", "sections",
             {"ServiceIdentification", "ServiceProvider", "OperationsMetadata",
              "Filter_Capabilities"});
      values(operation("DescribeRecord"), "ows:Parameter", "typeName", {"csw:Record"});
      pugi::xml_node getRecords = operation("GetRecords");
      values(getRecords, "ows:Parameter", "typeNames",
             std::vector<std::string>(typeNames.begin(), typeNames.end()));
      values(getRecords, "ows:Parameter", "outputFormat", {"application/xml"});
      values(getRecords, "ows:Parameter", "outputSchema", schemaNames);
      values(getRecords, "ows:Parameter", "resultType", {"hits", "results"});
      values(getRecords, "ows:Parameter", "ElementSetName", {"brief", "summary", "full"});
      values(getRecords, "ows:Parameter", "CONSTRAINTLANGUAGE", {"FILTER", "CQL_TEXT"});
      // Queryables: those every collection's schema offers, and, said
      // apart, those some collection lacks.
      std::vector<std::string> available;
      std::vector<std::string> lacking;
      std::vector<std::string> iso;
      for (const QueryableDef& q : KnownQueryables()) {
        const std::string name = q.name;
        if (name.find(':') == std::string::npos) continue;
        std::vector<std::string> without;
        for (OpenCollection* c : all) {
          if (!QueryableAvailable(*c, q)) without.push_back(c->name());
        }
        if (without.size() == all.size() && !all.empty()) {
          lacking.push_back(name + " (no collection)");
          continue;
        }
        (name.rfind("apiso:", 0) == 0 ? iso : available).push_back(name);
        if (!without.empty()) {
          std::string list;
          for (const std::string& w : without) list += (list.empty() ? "" : ", ") + w;
          lacking.push_back(name + " (not in " + list + ")");
        }
      }
      values(getRecords, "ows:Constraint", "SupportedDublinCoreQueryables", available);
      values(getRecords, "ows:Constraint", "SupportedISOQueryables", iso);
      values(getRecords, "ows:Constraint", "UnavailableQueryables", lacking);
      values(getRecords, "ows:Constraint", "MaxRecordDefault",
             {std::to_string(ctx_.defaultRecords)});
      values(getRecords, "ows:Constraint", "MaxRecords", {std::to_string(ctx_.maxRecords)});
      values(getRecords, "ows:Constraint", "MaxFilterConditions",
             {std::to_string(kMaxFilterConditions)});
      values(getRecords, "ows:Constraint", "MaxFilterDepth", {std::to_string(kMaxFilterDepth)});
      values(getRecords, "ows:Constraint", "MaxFilterLength", {std::to_string(kMaxFilterText)});
      pugi::xml_node byId = operation("GetRecordById");
      values(byId, "ows:Parameter", "outputSchema", schemaNames);
      values(byId, "ows:Parameter", "ElementSetName", {"brief", "summary", "full"});
      pugi::xml_node domain = operation("GetDomain");
      values(domain, "ows:Parameter", "ParameterName",
             {"GetRecords.resultType", "GetRecords.outputSchema", "GetRecords.ElementSetName",
              "GetRecords.typeNames", "GetRecords.CONSTRAINTLANGUAGE",
              "GetRecordById.ElementSetName", "DescribeRecord.typeName"});
      values(ops, "ows:Parameter", "service", {"CSW"});
      values(ops, "ows:Parameter", "version", {"2.0.2"});

      pugi::xml_node filter = caps.append_child("ogc:Filter_Capabilities");
      pugi::xml_node spatial = filter.append_child("ogc:Spatial_Capabilities");
      spatial.append_child("ogc:GeometryOperands").append_child("ogc:GeometryOperand").text() =
          "gml:Envelope";
      spatial.append_child("ogc:SpatialOperators")
          .append_child("ogc:SpatialOperator")
          .append_attribute("name") = "BBOX";
      pugi::xml_node scalar = filter.append_child("ogc:Scalar_Capabilities");
      scalar.append_child("ogc:LogicalOperators");
      pugi::xml_node comparison = scalar.append_child("ogc:ComparisonOperators");
      for (const char* c : {"EqualTo", "NotEqualTo", "LessThan", "GreaterThan", "LessThanEqualTo",
                            "GreaterThanEqualTo", "Like", "Between", "NullCheck"}) {
        comparison.append_child("ogc:ComparisonOperator").text() = c;
      }
      filter.append_child("ogc:Id_Capabilities").append_child("ogc:EID");
      res.set_content(csw::Serialize(doc, {}), kXml);
    });
  }

  static void DescribeRecord(const CswRequest& r, httplib::Response& res) {
    std::vector<std::string> names;
    if (r.isXml) {
      for (pugi::xml_node c : r.root().children()) {
        if (std::string(LocalName(c.name())) == "TypeName") names.push_back(Trim(c.child_value()));
      }
    } else if (r.Has("typename")) {
      names = SplitList(r.Get("typename"), ',');
    }
    for (const std::string& n : names) {
      if (n != "csw:Record" && n != "Record") {
        return SendError(
            res, Invalid("typeName", "no description of '" + n + "'; described is csw:Record"));
      }
    }
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("csw:DescribeRecordResponse");
    root.append_attribute("xmlns:csw") = csw::kCswNs;
    pugi::xml_node component = root.append_child("csw:SchemaComponent");
    component.append_attribute("schemaLanguage") = "XMLSCHEMA";
    component.append_attribute("targetNamespace") = csw::kCswNs;
    pugi::xml_node xs = component.append_child("xs:schema");
    xs.append_attribute("xmlns:xs") = "http://www.w3.org/2001/XMLSchema";
    xs.append_attribute("xmlns:dc") = csw::kDcNs;
    xs.append_attribute("xmlns:dct") = csw::kDctNs;
    xs.append_attribute("xmlns:ows") = csw::kOwsNs;
    xs.append_attribute("targetNamespace") = csw::kCswNs;
    xs.append_attribute("elementFormDefault") = "qualified";
    for (const char* element : {"BriefRecord", "SummaryRecord", "Record"}) {
      pugi::xml_node e = xs.append_child("xs:element");
      e.append_attribute("name") = element;
      pugi::xml_node seq = e.append_child("xs:complexType").append_child("xs:sequence");
      for (const char* ref :
           {"dc:identifier", "dc:title", "dc:type", "dc:subject", "dct:modified", "dct:abstract",
            "dc:creator", "dc:date", "dct:references", "dc:source", "ows:BoundingBox"}) {
        pugi::xml_node child = seq.append_child("xs:element");
        child.append_attribute("ref") = ref;
        child.append_attribute("minOccurs") = "0";
        child.append_attribute("maxOccurs") = "unbounded";
      }
    }
    res.set_content(csw::Serialize(doc, {}), kXml);
  }

  // The search parameters of a GetRecords request.
  bool ReadSearch(const CswRequest& r, SearchParams* p, CswError* error) const {
    std::string resultType = "hits";
    std::string start = "1";
    std::string max = std::to_string(ctx_.defaultRecords);
    std::string elementSet = "summary";
    std::string constraintLanguage;
    std::string constraint;
    bool xmlFilter = false;
    pugi::xml_node filterNode;
    if (r.isXml) {
      const pugi::xml_node root = r.root();
      resultType = root.attribute("resultType").as_string("hits");
      start = root.attribute("startPosition").as_string("1");
      max = root.attribute("maxRecords").as_string(max.c_str());
      p->outputSchema = root.attribute("outputSchema").as_string(csw::kCswNs);
      const std::string format = root.attribute("outputFormat").as_string("application/xml");
      if (format != "application/xml" && format != "text/xml") {
        *error = Invalid("outputFormat", "only application/xml is offered");
        return false;
      }
      const pugi::xml_node query = ChildByLocalName(root, "Query");
      if (!query) {
        *error = Missing("Query");
        return false;
      }
      p->typeNames = SplitList(query.attribute("typeNames").as_string("csw:Record"), ' ');
      const pugi::xml_node esn = ChildByLocalName(query, "ElementSetName");
      if (esn) {
        elementSet = Trim(esn.child_value());
      } else if (ChildByLocalName(query, "ElementName")) {
        elementSet = "full";
      }
      const pugi::xml_node c = ChildByLocalName(query, "Constraint");
      if (c) {
        filterNode = ChildByLocalName(c, "Filter");
        const pugi::xml_node cql = ChildByLocalName(c, "CqlText");
        if (filterNode) {
          xmlFilter = true;
        } else if (cql) {
          constraint = cql.child_value();
          constraintLanguage = "CQL_TEXT";
        } else {
          *error = Invalid("Constraint", "a Constraint holds an ogc:Filter or a csw:CqlText");
          return false;
        }
      }
      const pugi::xml_node sortBy = ChildByLocalName(query, "SortBy");
      for (pugi::xml_node s : sortBy.children()) {
        if (std::string(LocalName(s.name())) != "SortProperty") continue;
        SortKey k;
        k.property = Trim(ChildByLocalName(s, "PropertyName").child_value());
        k.descending = Trim(ChildByLocalName(s, "SortOrder").child_value()) == "DESC";
        if (k.property.empty()) {
          *error = Invalid("SortBy", "a SortProperty needs a PropertyName");
          return false;
        }
        p->sort.push_back(std::move(k));
      }
    } else {
      if (r.Has("resulttype")) resultType = r.Get("resulttype");
      if (r.Has("startposition")) start = r.Get("startposition");
      if (r.Has("maxrecords")) max = r.Get("maxrecords");
      if (r.Has("elementsetname")) elementSet = r.Get("elementsetname");
      if (r.Has("outputschema")) p->outputSchema = r.Get("outputschema");
      if (r.Has("outputformat") && r.Get("outputformat") != "application/xml") {
        *error = Invalid("outputFormat", "only application/xml is offered");
        return false;
      }
      p->typeNames = SplitList(r.Has("typenames") ? r.Get("typenames") : "csw:Record", ',');
      if (r.Has("constraint")) {
        constraint = r.Get("constraint");
        if (!r.Has("constraintlanguage")) {
          *error = Missing("constraintLanguage");
          return false;
        }
        constraintLanguage = r.Get("constraintlanguage");
        if (constraintLanguage != "FILTER" && constraintLanguage != "CQL_TEXT") {
          *error = Invalid("constraintLanguage", "constraintLanguage is FILTER or CQL_TEXT");
          return false;
        }
      }
      if (r.Has("sortby")) {
        for (const std::string& part : SplitList(r.Get("sortby"), ',')) {
          SortKey k;
          k.property = part;
          const auto colon = part.rfind(':');
          if (colon != std::string::npos &&
              (part.substr(colon + 1) == "A" || part.substr(colon + 1) == "D")) {
            k.descending = part.substr(colon + 1) == "D";
            k.property = part.substr(0, colon);
          }
          p->sort.push_back(std::move(k));
        }
      }
    }
    if (p->sort.size() > 4) {
      *error = Invalid("SortBy", "at most 4 sort properties");
      return false;
    }
    const std::string rt = Lower(resultType);
    if (rt != "hits" && rt != "results") {
      *error = Invalid("resultType", "resultType is hits or results");
      return false;
    }
    p->hits = rt == "hits";
    if (!ParseWhole(start, &p->start) || p->start < 1) {
      *error = Invalid("startPosition", "startPosition is a whole number from 1");
      return false;
    }
    if (!ParseWhole(max, &p->max)) {
      *error = Invalid("maxRecords", "maxRecords is a whole number");
      return false;
    }
    p->max = std::min(p->max, ctx_.maxRecords);
    if (!ParseElementSet(elementSet, &p->set)) {
      *error = Invalid("ElementSetName", "ElementSetName is brief, summary or full");
      return false;
    }
    FilterError fe;
    if (xmlFilter) {
      if (!ParseFilterXml(filterNode, &p->filter, &fe)) {
        *error = Invalid("Constraint", fe.message);
        return false;
      }
    } else if (constraintLanguage == "CQL_TEXT") {
      if (!ParseCql(constraint, &p->filter, &fe)) {
        *error = Invalid("Constraint", fe.message);
        return false;
      }
    } else if (constraintLanguage == "FILTER") {
      if (constraint.size() > kMaxFilterText) {
        *error = Invalid("Constraint", "the constraint is too long");
        return false;
      }
      pugi::xml_document fdoc;
      if (constraint.find("<!DOCTYPE") != std::string::npos ||
          constraint.find("<!ENTITY") != std::string::npos ||
          !fdoc.load_buffer(constraint.data(), constraint.size(),
                            pugi::parse_default & ~pugi::parse_doctype) ||
          std::string(LocalName(fdoc.document_element().name())) != "Filter") {
        *error = Invalid("Constraint", "the constraint is not an ogc:Filter document");
        return false;
      }
      if (!ParseFilterXml(fdoc.document_element(), &p->filter, &fe)) {
        *error = Invalid("Constraint", fe.message);
        return false;
      }
    }
    return true;
  }

  // The collections a search covers: those whose records the output schema
  // gives, narrowed to the type names asked for.
  static bool SearchCollections(Connection& conn, const SearchParams& p,
                                std::vector<OpenCollection*>* out, CswError* error) {
    const auto schemas = OutputSchemas(conn);
    auto it = schemas.find(p.outputSchema);
    if (it == schemas.end()) {
      *error = Invalid("outputSchema", "no records are offered in '" + p.outputSchema + "'");
      return false;
    }
    bool anyType = false;
    std::set<std::string> roots;
    for (const std::string& t : p.typeNames) {
      if (t == "csw:Record" || t == "Record") {
        anyType = true;
      } else {
        roots.insert(t);
      }
    }
    for (OpenCollection* c : it->second) {
      if (anyType || roots.count(c->RootElement()) != 0) out->push_back(c);
    }
    if (!anyType) {
      for (const std::string& t : roots) {
        bool known = false;
        for (OpenCollection* c : it->second) known = known || c->RootElement() == t;
        if (!known) {
          *error = Invalid("typeNames", "no records of type '" + t + "'");
          return false;
        }
      }
    }
    return true;
  }

  // Appends the records of `hits` in the form asked; their stored texts go
  // to `records` for the placeholders.
  static bool AppendRecords(pugi::xml_node parent, const std::vector<QueryHit>& hits,
                            const std::string& outputSchema, ElementSet set,
                            std::vector<std::string>* records, CswError* error) {
    const bool dublinCore = outputSchema == csw::kCswNs;
    for (const QueryHit& hit : hits) {
      RecordView view;
      std::string why;
      if (!LoadRecord(*hit.collection, hit.id, !dublinCore, &view, &why)) {
        *error = CswError{500, "NoApplicableCode", "", why};
        return false;
      }
      if (dublinCore) {
        csw::AppendDublinCore(parent, view, set);
      } else {
        csw::PlaceRecord(parent, records->size());
        records->push_back(std::move(view.xml));
      }
    }
    return true;
  }

  static pugi::xml_node ResponseRoot(pugi::xml_document& doc, const char* name) {
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child(name);
    root.append_attribute("xmlns:csw") = csw::kCswNs;
    root.append_attribute("xmlns:dc") = csw::kDcNs;
    root.append_attribute("xmlns:dct") = csw::kDctNs;
    root.append_attribute("xmlns:ows") = csw::kOwsNs;
    root.append_attribute("xmlns:xsi") = csw::kXsiNs;
    root.append_attribute("version") = "2.0.2";
    return root;
  }

  void GetRecords(const CswRequest& r, httplib::Response& res) const {
    SearchParams p;
    CswError error;
    if (!ReadSearch(r, &p, &error)) return SendError(res, error);
    WithConnection(res, [&](Connection& conn) {
      CswError e;
      QueryRequest q;
      if (!SearchCollections(conn, p, &q.collections, &e)) return SendError(res, e);
      q.filter = p.filter;
      q.sort = p.sort;
      q.offset = p.start - 1;
      q.limit = p.hits ? 0 : p.max;
      QueryResult result;
      EvalError ee;
      if (!RunQuery(q, &result, &ee)) {
        if (ee.kind == EvalError::Kind::kFailed) {
          return SendError(res, CswError{500, "NoApplicableCode", "", ee.message});
        }
        return SendError(res, Invalid(p.sort.empty() || ee.message.find("sort") == std::string::npos
                                          ? "Constraint"
                                          : "SortBy",
                                      ee.message));
      }
      pugi::xml_document doc;
      pugi::xml_node root = ResponseRoot(doc, "csw:GetRecordsResponse");
      char stamp[32];
      const std::time_t now = std::time(nullptr);
      std::tm tm{};
      gmtime_r(&now, &tm);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
      root.append_child("csw:SearchStatus").append_attribute("timestamp") = stamp;
      pugi::xml_node results = root.append_child("csw:SearchResults");
      const std::int64_t returned = static_cast<std::int64_t>(result.page.size());
      const std::int64_t next = p.hits ? (result.matched >= p.start ? p.start : 0)
                                : p.start - 1 + returned < result.matched ? p.start + returned
                                                                          : 0;
      results.append_attribute("numberOfRecordsMatched") = static_cast<long long>(result.matched);
      results.append_attribute("numberOfRecordsReturned") = static_cast<long long>(returned);
      results.append_attribute("nextRecord") = static_cast<long long>(next);
      results.append_attribute("elementSet") = p.set == ElementSet::kBrief     ? "brief"
                                               : p.set == ElementSet::kSummary ? "summary"
                                                                               : "full";
      results.append_attribute("recordSchema") = p.outputSchema.c_str();
      std::vector<std::string> records;
      if (!AppendRecords(results, result.page, p.outputSchema, p.set, &records, &e)) {
        return SendError(res, e);
      }
      res.set_content(csw::Serialize(doc, records), kXml);
    });
  }

  void GetRecordById(const CswRequest& r, httplib::Response& res) const {
    std::vector<std::string> ids;
    std::string elementSet = "summary";
    std::string outputSchema = csw::kCswNs;
    if (r.isXml) {
      for (pugi::xml_node c : r.root().children()) {
        if (std::string(LocalName(c.name())) == "Id") ids.push_back(Trim(c.child_value()));
      }
      if (const pugi::xml_node esn = ChildByLocalName(r.root(), "ElementSetName")) {
        elementSet = Trim(esn.child_value());
      }
      outputSchema = r.root().attribute("outputSchema").as_string(csw::kCswNs);
    } else {
      ids = SplitList(r.Get("id"), ',');
      if (r.Has("elementsetname")) elementSet = r.Get("elementsetname");
      if (r.Has("outputschema")) outputSchema = r.Get("outputschema");
    }
    if (ids.empty()) return SendError(res, Missing("id"));
    if (ids.size() > static_cast<std::size_t>(ctx_.maxRecords)) {
      return SendError(res, Invalid("id", "too many ids in one request"));
    }
    ElementSet set;
    if (!ParseElementSet(elementSet, &set)) {
      return SendError(res, Invalid("ElementSetName", "ElementSetName is brief, summary or full"));
    }
    WithConnection(res, [&](Connection& conn) {
      const auto schemas = OutputSchemas(conn);
      auto offered = schemas.find(outputSchema);
      if (offered == schemas.end() && outputSchema != csw::kCswNs) {
        return SendError(
            res, Invalid("outputSchema", "no records are offered in '" + outputSchema + "'"));
      }
      std::vector<QueryHit> hits;
      for (const std::string& text : ids) {
        std::int64_t id = 0;
        OpenCollection* c = ParseWhole(text, &id) ? conn.CollectionOfRecord(id) : nullptr;
        if (c == nullptr) continue;  // unknown ids give no record
        if (outputSchema != csw::kCswNs &&
            std::find(offered->second.begin(), offered->second.end(), c) == offered->second.end()) {
          continue;
        }
        hits.push_back(QueryHit{c, id});
      }
      pugi::xml_document doc;
      pugi::xml_node root = ResponseRoot(doc, "csw:GetRecordByIdResponse");
      std::vector<std::string> records;
      CswError e;
      if (!AppendRecords(root, hits, outputSchema, set, &records, &e)) return SendError(res, e);
      res.set_content(csw::Serialize(doc, records), kXml);
    });
  }

  void GetDomain(const CswRequest& r, httplib::Response& res) const {
    std::string property;
    std::string parameter;
    if (r.isXml) {
      property = Trim(ChildByLocalName(r.root(), "PropertyName").child_value());
      parameter = Trim(ChildByLocalName(r.root(), "ParameterName").child_value());
    } else {
      property = r.Get("propertyname");
      parameter = r.Get("parametername");
    }
    if (property.empty() && parameter.empty()) return SendError(res, Missing("PropertyName"));
    WithConnection(res, [&](Connection& conn) {
      pugi::xml_document doc;
      pugi::xml_node root = ResponseRoot(doc, "csw:GetDomainResponse");
      pugi::xml_node values = root.append_child("csw:DomainValues");
      values.append_attribute("type") = "csw:Record";
      std::vector<std::string> list;
      if (!parameter.empty()) {
        values.append_child("csw:ParameterName").text() = parameter.c_str();
        std::vector<std::string> schemaNames;
        for (const auto& [name, cs] : OutputSchemas(conn)) schemaNames.push_back(name);
        const std::map<std::string, std::vector<std::string>> known = {
            {"GetRecords.resultType", {"hits", "results"}},
            {"GetRecords.outputSchema", schemaNames},
            {"GetRecordById.outputSchema", schemaNames},
            {"GetRecords.ElementSetName", {"brief", "summary", "full"}},
            {"GetRecordById.ElementSetName", {"brief", "summary", "full"}},
            {"GetRecords.CONSTRAINTLANGUAGE", {"FILTER", "CQL_TEXT"}},
            {"DescribeRecord.typeName", {"csw:Record"}},
        };
        auto it = known.find(parameter);
        if (it == known.end()) {
          return SendError(res, Invalid("ParameterName", "no domain for '" + parameter + "'"));
        }
        list = it->second;
      } else {
        values.append_child("csw:PropertyName").text() = property.c_str();
        std::set<std::string> distinct;
        bool anywhere = false;
        for (const CollectionInfo& info : conn.Collections()) {
          OpenCollection* c = conn.FindById(info.id);
          if (c == nullptr) continue;
          const Resolution res2 = ResolveQueryable(*c, property);
          if (res2.status == Resolution::Status::kUnknown) continue;
          anywhere = true;
          if (res2.status != Resolution::Status::kFound || res2.kind != QueryableKind::kAlias) {
            continue;
          }
          for (const NodeRef* node : {&res2.node, &res2.timeNode}) {
            std::vector<std::pair<std::int64_t, std::string>> found;
            if (!ReadNodeValues(*c, *node, false, &found)) {
              return SendError(res, CswError{500, "NoApplicableCode", "",
                                             "cannot read the values of " + property});
            }
            for (auto& [id, v] : found) {
              if (distinct.size() >= static_cast<std::size_t>(ctx_.maxRecords)) break;
              distinct.insert(std::move(v));
            }
          }
        }
        if (!anywhere) {
          return SendError(res, Invalid("PropertyName", "unknown queryable '" + property + "'"));
        }
        list.assign(distinct.begin(), distinct.end());
      }
      pugi::xml_node lov = values.append_child("csw:ListOfValues");
      for (const std::string& v : list) {
        std::string text = v;
        for (char& ch : text) {
          if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
            ch = ' ';
          }
        }
        lov.append_child("csw:Value").text() = text.c_str();
      }
      res.set_content(csw::Serialize(doc, {}), kXml);
    });
  }

  const ServiceContext& ctx_;
};

}  // namespace

void AddCswRoutes(httplib::Server& server, const ServiceContext& context) {
  auto service = std::make_shared<Csw>(context);
  auto handler = [service](const httplib::Request& q, httplib::Response& r) {
    service->Handle(q, r);
  };
  server.Get("/csw", handler);
  server.Post("/csw", handler);
}

}  // namespace metashelf::server
