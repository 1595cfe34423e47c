// Out-of-line destructors anchor the host interfaces' type information in
// one place, so that dynamic_cast between them works across the library
// boundary.
#include "metashelf/host_database.h"

Cora_IConnection::~Cora_IConnection() = default;
Cora_IDataBase::~Cora_IDataBase() = default;
CBas_GDataBase::~CBas_GDataBase() = default;
