// The CSW 2.0.2 interface at /csw: GetCapabilities, DescribeRecord,
// GetRecords, GetRecordById and GetDomain, as key-value pairs (GET) and as
// XML (POST). Failures are OWS exception reports naming the parameter.
#ifndef METASHELF_SERVER_CSW_CSW_SERVICE_H_
#define METASHELF_SERVER_CSW_CSW_SERVICE_H_

#include "http/service.h"

namespace httplib {
class Server;
}

namespace metashelf::server {

void AddCswRoutes(httplib::Server& server, const ServiceContext& context);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CSW_CSW_SERVICE_H_
