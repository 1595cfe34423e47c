// The exported factory and release functions.
#include "metashelf/base/guard.h"
#include "metashelf/metashelf.h"

CMetaObject_abs::~CMetaObject_abs() = default;
CMetaDataBase_abs::~CMetaDataBase_abs() = default;
CMetaDataSet_abs::~CMetaDataSet_abs() = default;

namespace {

// Both release names share this body: either destroys either kind of object.
int DestroyObject(CMetaObject_abs* object) {
  delete object;
  return 1;
}

}  // namespace

extern "C" {

int NewMdb(CMetaDataBase_abs** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  return metashelf::base::Guard(0, [&] {
    *out = new COraMetaDataBase();
    return 1;
  });
}

int NewMds(CMetaDataSet_abs** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  return metashelf::base::Guard(0, [&] {
    *out = new COraMetaDataSet();
    return 1;
  });
}

int DeleteMdb(CMetaObject_abs* object) {
  return DestroyObject(object);
}

int DeleteMds(CMetaObject_abs* object) {
  return DestroyObject(object);
}

}  // extern "C"
