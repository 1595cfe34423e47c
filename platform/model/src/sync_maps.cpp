// The built-in property maps of FGDC and ISO 19139 records, and the reader
// of a schema's node-to-element map.
#include "sync_maps.h"

#include <pugixml.hpp>

#include "standard_paths.h"

namespace metashelf::model {

SyncMap FgdcSyncMap() {
  SyncMap m;
  m.rootTemplate = "<metadata></metadata>";
  const std::string cite = paths::FgdcCitation();
  const std::string bounding = paths::FgdcBoundingBox();
  const std::string range = paths::FgdcDateRange();
  m.targets = {
      {"origin", cite + "origin", 1, {}},
      {"pubdate", cite + "pubdate", 1, {}},
      {"title", cite + "title", 1, {}},
      {"onlink", cite + "onlink", 1, {}},
      {"abstract", "/metadata/idinfo/descript/abstract", 1, {}},
      {"purpose", "/metadata/idinfo/descript/purpose", 1, {}},
      {"begdate", range + "begdate", 1, {}},
      {"enddate", range + "enddate", 1, {}},
      {"westbc", bounding + "westbc", 1, {}},
      {"eastbc", bounding + "eastbc", 1, {}},
      {"northbc", bounding + "northbc", 1, {}},
      {"southbc", bounding + "southbc", 1, {}},
      {"keyword",
       "/metadata/idinfo/keywords/theme/themekey",
       1,
       {{"/metadata/idinfo/keywords/theme/themekt", "None"}}},
      {"refsys", "/metadata/spref/horizsys/geodetic/horizdn", 1, {}},
      {"format", "/metadata/distinfo/stdorder/digform/digtinfo/formname", 1, {}},
  };
  return m;
}

SyncMap IsoSyncMap() {
  SyncMap m;
  m.namespaces = {{"gmd", "http://www.isotc211.org/2005/gmd"},
                  {"gco", "http://www.isotc211.org/2005/gco"},
                  {"gml", "http://www.opengis.net/gml"},
                  {"xlink", "http://www.w3.org/1999/xlink"}};
  m.rootTemplate =
      "<gmd:MD_Metadata xmlns:gmd=\"http://www.isotc211.org/2005/gmd\" "
      "xmlns:gco=\"http://www.isotc211.org/2005/gco\" xmlns:gml=\"http://www.opengis.net/gml\" "
      "xmlns:xlink=\"http://www.w3.org/1999/xlink\"></gmd:MD_Metadata>";
  const std::string id = paths::IsoIdentification();
  const std::string cite = paths::IsoCitation();
  const std::string box = paths::IsoBoundingBox();
  const std::string period = paths::IsoTimePeriod();
  const std::string distribution = "/gmd:MD_Metadata/gmd:distributionInfo/gmd:MD_Distribution/";
  const std::string codeList =
      "http://www.isotc211.org/2005/resources/Codelist/gmxCodelists.xml#CI_DateTypeCode";
  m.targets = {
      {"title", cite + "gmd:title/gco:CharacterString", 1, {}},
      {"pubdate",
       cite + "gmd:date/gmd:CI_Date/gmd:date/gco:Date",
       1,
       {{cite + "gmd:date/gmd:CI_Date/gmd:dateType/gmd:CI_DateTypeCode/@codeList", codeList},
        {cite + "gmd:date/gmd:CI_Date/gmd:dateType/gmd:CI_DateTypeCode/@codeListValue",
         "publication"}}},
      {"origin",
       cite + "gmd:citedResponsibleParty/gmd:CI_ResponsibleParty/gmd:organisationName/"
              "gco:CharacterString",
       1,
       {}},
      {"abstract", id + "gmd:abstract/gco:CharacterString", 1, {}},
      {"purpose", id + "gmd:purpose/gco:CharacterString", 1, {}},
      {"keyword",
       id + "gmd:descriptiveKeywords/gmd:MD_Keywords/gmd:keyword/gco:CharacterString",
       2,
       {}},
      {"westbc", box + "gmd:westBoundLongitude/gco:Decimal", 1, {}},
      {"eastbc", box + "gmd:eastBoundLongitude/gco:Decimal", 1, {}},
      {"southbc", box + "gmd:southBoundLatitude/gco:Decimal", 1, {}},
      {"northbc", box + "gmd:northBoundLatitude/gco:Decimal", 1, {}},
      {"begdate", period + "gml:beginPosition", 1, {{period + "@gml:id", "extent"}}},
      {"enddate", period + "gml:endPosition", 1, {{period + "@gml:id", "extent"}}},
      {"refsys",
       "/gmd:MD_Metadata/gmd:referenceSystemInfo/gmd:MD_ReferenceSystem/"
       "gmd:referenceSystemIdentifier/gmd:RS_Identifier/gmd:code/gco:CharacterString",
       1,
       {}},
      {"onlink",
       distribution +
           "gmd:transferOptions/gmd:MD_DigitalTransferOptions/gmd:onLine/gmd:CI_OnlineResource/"
           "gmd:linkage/gmd:URL",
       1,
       {}},
      {"format",
       distribution + "gmd:distributionFormat/gmd:MD_Format/gmd:name/gco:CharacterString",
       1,
       {}},
  };
  return m;
}

bool ReadNodeElementMap(const std::string& text, SyncMap& map) {
  map = SyncMap{};
  pugi::xml_document doc;
  if (!doc.load_string(text.c_str())) return false;
  const pugi::xml_node root = doc.child("N2EMAP");
  if (!root) return false;
  for (pugi::xml_node ns : root.children("namespace")) {
    map.namespaces.emplace_back(ns.attribute("prefix").value(), ns.attribute("uri").value());
  }
  for (pugi::xml_node entry : root.children("map")) {
    PropertyTarget t;
    t.property = entry.attribute("property").value();
    t.path = entry.attribute("path").value();
    t.span = entry.attribute("span").as_uint(1);
    if (t.property.empty() || t.path.empty() || t.span < 1) return false;
    map.targets.push_back(std::move(t));
  }
  return true;
}

}  // namespace metashelf::model
