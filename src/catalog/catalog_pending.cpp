// Catalog operations whose bodies are not built yet: each reports its
// failure value, so a host sees a clear refusal rather than a fake result.
#include "metashelf/metashelf.h"

std::int32_t COraMetaDataBase::schema_Add(const char* /*name*/, const char* /*schemaText*/,
                                          const char* /*remark*/) {
  return 0;
}
