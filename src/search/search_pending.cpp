// Search operations whose bodies are not built yet: each reports failure.
#include "metashelf/ora_metadataset.h"

std::int32_t COraMetaDataSet::SearchMetaData(const std::string& /*expression*/,
                                             std::vector<SearchNode>& /*conditions*/,
                                             CSmartArray<std::int64_t>& /*ids*/) {
  return 0;
}
