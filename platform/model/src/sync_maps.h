// Where synchronised properties go in each family of records: FGDC CSDGM
// paths (family 1), ISO 19139 paths (family 2), or the schema's
// node-to-element map (family 3).
#ifndef METASHELF_MODEL_SYNC_MAPS_H_
#define METASHELF_MODEL_SYNC_MAPS_H_

#include <string>
#include <utility>
#include <vector>

namespace metashelf::model {

struct PropertyTarget {
  std::string property;
  std::string path;
  // Keywords: how many trailing steps of `path` make one more occurrence.
  std::size_t span = 1;
  // Companions written when absent (a theme's thesaurus, a date's type).
  std::vector<std::pair<std::string, std::string>> companions;
};

struct SyncMap {
  std::string rootTemplate;  // the root element of a new record, empty
  std::vector<std::pair<std::string, std::string>> namespaces;  // prefix, URI
  std::vector<PropertyTarget> targets;
};

SyncMap FgdcSyncMap();
SyncMap IsoSyncMap();

// Reads a node-to-element map:
//   <N2EMAP>
//     <namespace prefix="gmd" uri="..."/>            (optional, added to the
//                                                     schema's own prefixes)
//     <map property="title" path="/a/b/title"/>
//     <map property="keyword" path="/a/k/key" span="1"/>
//   </N2EMAP>
// False for a text that is not such a map; the default empty map gives no
// targets.
bool ReadNodeElementMap(const std::string& text, SyncMap& map);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_SYNC_MAPS_H_
