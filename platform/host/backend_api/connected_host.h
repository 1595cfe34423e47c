// The part of a host object that is the same on every backend: it owns the
// driver connection that its handle (HDBC) lends to the library, knows the
// owner its catalogs live in, and keeps the reason of its own last failure.
// A backend derives from ConnectedHost<ItsConnection> and supplies the
// catalog registry, ids and transactions.
#ifndef METASHELF_HOST_BACKEND_API_CONNECTED_HOST_H_
#define METASHELF_HOST_BACKEND_API_CONNECTED_HOST_H_

#include <memory>
#include <string>
#include <utility>

#include "backend_api/opener.h"
#include "metashelf/host.h"

namespace metashelf {
namespace host {

template <typename ConnectionType>
class ConnectedHost : public CHostDataBase {
 public:
  ConnectedHost(std::unique_ptr<ConnectionType> connection, std::string owner)
      : connection_(std::move(connection)), owner_(std::move(owner)) {
    hdbc_.connection = connection_.get();
  }
  // The handle is emptied before the connection closes.
  ~ConnectedHost() override { hdbc_.connection = nullptr; }

  // CBas_GDataBase
  Cora_IConnection* db_GetConnection() override { return this; }
  const char* db_GetOwner() override { return owner_.c_str(); }

  // Cora_IDataBase
  gis_SQLHDBC_STRU* HDBC() override { return &hdbc_; }

  // Cora_IConnection
  gis_SQLHDBC_STRU* GetHandle(int a, int b, int c, int d) override {
    return (a == 0 && b == -1 && c == 0 && d == 0) ? &hdbc_ : nullptr;
  }

  // CHostDataBase
  const std::string& LastError() const override { return last_error_; }
  StatementError LastStatementError() const override { return StatementErrorOf(*connection_); }

 protected:
  std::unique_ptr<ConnectionType> connection_;
  std::string owner_;
  std::string last_error_;

 private:
  gis_SQLHDBC_STRU hdbc_{};
};

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_HOST_BACKEND_API_CONNECTED_HOST_H_
