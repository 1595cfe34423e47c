// COraMetaDataSet::GetMetaData: rebuilds a stored record from its
// META_STRUCTINFO_<id> row and its node rows. Only a record read whole,
// that rebuilds as well-formed UTF-8 XML, is reported as read, and only one
// the set holds.
#include <string>

#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "dataset/record_ownership.h"
#include "metashelf/base/guard.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadataset.h"

namespace {

// The leaf nodes the list reads made; the record copies them, so they go
// when the read ends.
class LeafList {
 public:
  ~LeafList() {
    for (std::int32_t i = 0; i < list_.GetSize(); ++i) delete list_[i];
    list_.SetSize(0);
  }
  CSmartArray<CLeafNode*>& list() { return list_; }

 private:
  CSmartArray<CLeafNode*> list_;
};

using LengthMember = std::int32_t (COraMetaSetOper::*)(std::int32_t, std::int64_t, std::int32_t*);
using ReadMember = std::int32_t (COraMetaSetOper::*)(std::int32_t, std::int64_t, char*,
                                                     std::int32_t);

// One of the record's documents, by the members that give its length and
// its bytes: the length first, then the bytes in one fetch. `*text` gets the
// document and a NUL (just the NUL for an empty one). False when the length
// query or the read fails.
bool ReadDocument(COraMetaSetOper& oper, std::int32_t mdsID, std::int64_t metaID,
                  LengthMember length, ReadMember read, std::string* text) {
  std::int32_t size = -1;
  if ((oper.*length)(mdsID, metaID, &size) == 0) return false;
  if (size < 0) size = 0;  // a NULL document reads as an empty one
  text->assign(static_cast<std::size_t>(size) + 1, '\0');
  if (size > 0 && (oper.*read)(mdsID, metaID, &(*text)[0], size) == 0) return false;
  return true;
}

}  // namespace

std::int32_t COraMetaDataSet::GetMetaData(std::int64_t metaID, CBaseMetaData* record) {
  if (ctx_ == nullptr || ctx_->opened == 0 || ctx_->oper == nullptr || record == nullptr) {
    return 0;
  }
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!metashelf::dataset::SetHoldsRecord(*ctx_, metaID)) return 0;
    COraMetaSetOper& oper = *ctx_->oper;
    const std::int32_t mdsID = ctx_->mdsID;
    std::string text;
    if (!ReadDocument(oper, mdsID, metaID, &COraMetaSetOper::GetStructInfoLength,
                      &COraMetaSetOper::ReadStructInfo, &text) ||
        text.size() < 2) {
      return 0;
    }
    record->SetStructInfo(text.c_str());
    if (!ReadDocument(oper, mdsID, metaID, &COraMetaSetOper::GetPrologInfoLength,
                      &COraMetaSetOper::ReadPrologInfo, &text) ||
        text.size() < 2) {
      return 0;
    }
    record->SetPrologInfo(text.c_str());
    if (!ReadDocument(oper, mdsID, metaID, &COraMetaSetOper::GetValueLabelLength,
                      &COraMetaSetOper::ReadValueLabel, &text)) {
      return 0;
    }
    if (text.size() > 1) record->SetValueLabel(text.c_str());

    LeafList leaves;
    if (oper.ReadNodeTextList(mdsID, metaID, leaves.list()) != 1) return 0;
    if (oper.ReadNodeNumberList(mdsID, metaID, leaves.list()) != 1) return 0;
    if (oper.ReadNodeDateTimeList(mdsID, metaID, leaves.list()) != 1) return 0;
    record->SetLeafNodeList(leaves.list());
    record->SetMetaID(metaID);
    if (record->UpdateSetting() != 1) return 0;
    // A record is handed out only when it rebuilds as UTF-8, well-formed
    // XML: damaged storage fails the read (the reason is the record's
    // LastError()) instead of giving out bytes no reader can use.
    std::string xml;
    return record->ToXml(xml) == 1 ? 1 : 0;
  });
}
