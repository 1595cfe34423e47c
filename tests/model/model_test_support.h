// Helpers shared by the model library's tests: an identifier source for
// schema registration, loading a schema text into a CSchema, reading files,
// and the storage trip of a record's parts (as the catalog stores them and
// reads them back).
#ifndef METASHELF_TESTS_MODEL_SUPPORT_H_
#define METASHELF_TESTS_MODEL_SUPPORT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/model.h"
#include "support/corpus_files.h"

namespace model_test {

// Hands out consecutive identifiers; `shortBlock` makes block number
// `shortAt` (0-based) come back one short, as a failed sequence draw does.
struct IdSource {
  std::int64_t next = 1000;
  int blocks = 0;
  int shortAt = -1;
  std::vector<int> requested;
};
void TakeIds(int count, std::vector<std::int64_t>& ids, void* context);

using metashelf::testing::ReadFile;
using metashelf::testing::XmlFilesIn;
std::string CorpusDir();
std::string SourceDir();

// Registers `text` and loads the result into a new CSchema; null on failure.
std::unique_ptr<CSchema> LoadSchema(const std::string& text, IdSource* ids = nullptr);

// The record's parts as a catalog would store them and give them back:
// documents through NUL-terminated buffers, leaf values through the value
// tables (numbers converted to double and printed back, in another order).
void StorageTrip(const CBaseMetaData& from, CBaseMetaData& to, const CSchema& schema);

}  // namespace model_test

#endif  // METASHELF_TESTS_MODEL_SUPPORT_H_
