// CMetadataSync: the properties harvested from a dataset, by name.
#include <map>

#include "metashelf/base/guard.h"
#include "metashelf/model.h"

struct CMetadataSync::Impl {
  std::map<std::string, std::string> properties;
  std::vector<std::string> keywords;
};

CMetadataSync::CMetadataSync()
    : impl_(metashelf::base::Guard<Impl*>(nullptr, [] { return new Impl; })) {}
CMetadataSync::~CMetadataSync() = default;

void CMetadataSync::SetProperty(const std::string& name, const std::string& value) {
  if (!impl_) return;
  // A property that memory cannot hold is not kept; the set has no result
  // to report it in.
  metashelf::base::Guard<bool>(false, [&] {
    if (name == "keyword") {
      impl_->keywords.push_back(value);
    } else {
      impl_->properties[name] = value;
    }
    return true;
  });
}

void CMetadataSync::AddKeyword(const std::string& keyword) {
  SetProperty("keyword", keyword);
}

bool CMetadataSync::GetProperty(const std::string& name, std::string& value) const {
  if (!impl_) return false;
  return metashelf::base::Guard<bool>(false, [&] {
    const auto it = impl_->properties.find(name);
    if (it == impl_->properties.end()) return false;
    value = it->second;
    return true;
  });
}

const std::vector<std::string>& CMetadataSync::Keywords() const {
  static const std::vector<std::string> kNone;
  return impl_ ? impl_->keywords : kNone;
}

std::vector<std::pair<std::string, std::string>> CMetadataSync::Properties() const {
  if (!impl_) return {};
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  return metashelf::base::Guard<Pairs>(
      {}, [&] { return Pairs(impl_->properties.begin(), impl_->properties.end()); });
}
