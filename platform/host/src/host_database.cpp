// CHostDataBase::Open: chooses the backend by the URI's form.
#include "metashelf/host.h"
#include "open_backends.h"

CHostDataBase::~CHostDataBase() = default;

const char* CHostDataBase::DefaultUri() {
  return "sqlite:metashelf.db";
}

std::unique_ptr<CHostDataBase> CHostDataBase::Open(const std::string& uri, std::string* error) {
  return Open(uri, OpenMode::kCreate, error);
}

bool CHostDataBase::Upgrade(const std::string& uri, std::string* report, std::string* error) {
  std::string ignored, said;
  std::string& message = error ? *error : ignored;
  try {
    if (uri.rfind("sqlite:", 0) != 0) {
      message = "only a SQLite database has files to convert";
      return false;
    }
    return metashelf::host::UpgradeSqlite(uri.substr(7), report ? report : &said, &message);
  } catch (const std::exception& e) {
    message = e.what();
  }
  return false;
}

std::unique_ptr<CHostDataBase> CHostDataBase::Open(const std::string& uri, OpenMode mode,
                                                   std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  try {
    if (uri.rfind("sqlite:", 0) == 0) {
      return metashelf::host::OpenSqlite(uri.substr(7), mode, &message);
    }
    if (uri.rfind("postgresql://", 0) == 0 || uri.rfind("postgres://", 0) == 0 ||
        uri.find('=') != std::string::npos) {
      return metashelf::host::OpenPostgreSQL(uri, &message);
    }
    message = "unknown database URI (expected sqlite:PATH or a PostgreSQL URI)";
  } catch (const std::exception& e) {
    message = e.what();
  }
  return nullptr;
}
