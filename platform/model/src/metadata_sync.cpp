// CMetadataSync: the properties harvested from a dataset, by name.
#include <map>

#include "metashelf/model.h"

struct CMetadataSync::Impl {
  std::map<std::string, std::string> properties;
  std::vector<std::string> keywords;
};

CMetadataSync::CMetadataSync() : impl_(new (std::nothrow) Impl) {}
CMetadataSync::~CMetadataSync() = default;

void CMetadataSync::SetProperty(const std::string& name, const std::string& value) {
  if (!impl_) return;
  try {
    if (name == "keyword") {
      impl_->keywords.push_back(value);
    } else {
      impl_->properties[name] = value;
    }
  } catch (...) {
  }
}

void CMetadataSync::AddKeyword(const std::string& keyword) {
  SetProperty("keyword", keyword);
}

bool CMetadataSync::GetProperty(const std::string& name, std::string& value) const {
  if (!impl_) return false;
  try {
    const auto it = impl_->properties.find(name);
    if (it == impl_->properties.end()) return false;
    value = it->second;
    return true;
  } catch (...) {
    return false;
  }
}

const std::vector<std::string>& CMetadataSync::Keywords() const {
  static const std::vector<std::string> kNone;
  return impl_ ? impl_->keywords : kNone;
}

std::vector<std::pair<std::string, std::string>> CMetadataSync::Properties() const {
  if (!impl_) return {};
  try {
    return {impl_->properties.begin(), impl_->properties.end()};
  } catch (...) {
    return {};
  }
}
