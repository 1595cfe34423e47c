// Everything a host needs: the factory functions, the interfaces and the
// records, the concrete classes, the host database object, the metadata
// model library, CBlobData and CSmartArray.
#ifndef METASHELF_METASHELF_H_
#define METASHELF_METASHELF_H_

#include <cstdint>

#include "metashelf/blob_data.h"
#include "metashelf/driver.h"
#include "metashelf/export.h"
#include "metashelf/host_database.h"
#include "metashelf/interfaces.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/records.h"
#include "metashelf/search.h"
#include "metashelf/smart_array.h"
#include "metashelf/value_indexes.h"
#include "metashelf/writer_policy.h"

extern "C" {

// Creates a catalog object and stores it in `*out` (null on failure).
// Returns 1 when an object was created, 0 otherwise (also for a null `out`).
METASHELF_API int NewMdb(CMetaDataBase_abs** out);

// Creates a set object; as NewMdb.
METASHELF_API int NewMds(CMetaDataSet_abs** out);

// Destroys a catalog or a set object made by NewMdb or NewMds (either name
// releases either kind); a null pointer is accepted. Always 1.
METASHELF_API int DeleteMdb(CMetaObject_abs* object);
METASHELF_API int DeleteMds(CMetaObject_abs* object);

// The catalog id of the schema that collection `colID` belongs to, looked up
// on the database object's own connection and owner; 0 when the collection
// is unknown or a step failed.
METASHELF_API std::int32_t FindMtdbByMds(CBas_GDataBase* database, std::int32_t colID);
}

#endif  // METASHELF_METASHELF_H_
