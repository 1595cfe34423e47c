// Where FGDC CSDGM and ISO 19139 records keep the parts their well-known
// properties sit under (citation, bounding box, time period). The built-in
// property maps and the search aliases of the shipped schema texts address
// the same elements, so both spell the paths from here.
#ifndef METASHELF_MODEL_STANDARD_PATHS_H_
#define METASHELF_MODEL_STANDARD_PATHS_H_

#include <string>

namespace metashelf::model::paths {

// FGDC CSDGM, each ending in "/".
inline std::string FgdcCitation() {
  return "/metadata/idinfo/citation/citeinfo/";
}
inline std::string FgdcBoundingBox() {
  return "/metadata/idinfo/spdom/bounding/";
}
inline std::string FgdcDateRange() {
  return "/metadata/idinfo/timeperd/timeinfo/rngdates/";
}

// ISO 19139 (prefixes gmd, gco and gml), each ending in "/".
inline std::string IsoIdentification() {
  return "/gmd:MD_Metadata/gmd:identificationInfo/gmd:MD_DataIdentification/";
}
inline std::string IsoCitation() {
  return IsoIdentification() + "gmd:citation/gmd:CI_Citation/";
}
inline std::string IsoBoundingBox() {
  return IsoIdentification() +
         "gmd:extent/gmd:EX_Extent/gmd:geographicElement/gmd:EX_GeographicBoundingBox/";
}
inline std::string IsoTimePeriod() {
  return IsoIdentification() +
         "gmd:extent/gmd:EX_Extent/gmd:temporalElement/gmd:EX_TemporalExtent/"
         "gmd:extent/gml:TimePeriod/";
}

}  // namespace metashelf::model::paths

#endif  // METASHELF_MODEL_STANDARD_PATHS_H_
