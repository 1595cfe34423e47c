// Decomposition and rebuild of the corpus records, in MB/s of record text,
// against the floor of the same run: pugixml parsing and serialising the
// same documents. Also splits our time into its stages (byte decoding and
// checking, scanning and decomposition, rebuild). Times are the best CPU
// time of several rounds. Not a test: prints only.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "decompose.h"
#include "metashelf/model.h"
#include "rebuild.h"
#include "support/corpus_files.h"
#include "text_codec.h"

namespace {

struct Record {
  std::string bytes;
  const CSchema* schema;
};

using metashelf::testing::ReadFile;
using metashelf::testing::XmlFilesIn;

void Ids(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* next = static_cast<std::int64_t*>(context);
  for (int i = 0; i < count; ++i) ids.push_back((*next)++);
}

bool Load(CSchema& schema, const std::string& file) {
  std::int64_t next = 1;
  CSchemaRegister reg(&next);
  std::string doc, info, xpath;
  const std::string text = ReadFile(file);
  if (reg.ParseSchema(text.c_str(), doc, info, xpath, Ids) < 0) return false;
  return schema.SetNodeStructList(info.c_str()) == 1;
}

// CPU time of this thread: the machine may be busy with other work.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of `rounds` runs of `body`, in CPU seconds.
double Best(int rounds, const std::function<void()>& body) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const double start = CpuSeconds();
    body();
    best = std::min(best, CpuSeconds() - start);
  }
  return best;
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

int main() {
  const std::string corpus = METASHELF_CORPUS_DIR;
  const std::string schemas = std::string(METASHELF_SOURCE_DIR) + "/data/schemas/";
  CSchema fgdc, iso;
  if (!Load(fgdc, schemas + "fgdc.xml") || !Load(iso, schemas + "iso19139.xml")) {
    std::fprintf(stderr, "the shipped schemas do not load\n");
    return 1;
  }
  std::vector<Record> records;
  std::size_t bytes = 0;
  for (const auto& f : XmlFilesIn(corpus + "/fgdc")) records.push_back({ReadFile(f), &fgdc});
  for (const auto& f : XmlFilesIn(corpus + "/iso19139")) records.push_back({ReadFile(f), &iso});
  if (records.empty()) {
    std::printf("corpus %s is absent: nothing to measure\n", corpus.c_str());
    return 0;
  }
  for (const auto& r : records) bytes += r.bytes.size();
  const int rounds = 15;
  const double mb = static_cast<double>(bytes) / 1e6;

  std::size_t sink = 0;
  std::string xml;
  auto pugiPass = [&] {
    for (const auto& r : records) {
      pugi::xml_document doc;
      doc.load_buffer(r.bytes.data(), r.bytes.size(), pugi::parse_full);
      StringWriter w;
      doc.save(w, "", pugi::format_raw | pugi::format_no_declaration);
      sink += w.out.size();
    }
  };
  auto wholePass = [&] {
    for (const auto& r : records) {
      CBaseMetaData record(const_cast<CSchema*>(r.schema));
      record.LoadXml(r.bytes.data(), r.bytes.size());
      record.ToXml(xml);
      sink += xml.size();
    }
  };
  // The two passes alternate, so that load on the machine falls on both.
  double pugi = 1e30, whole = 1e30;
  for (int i = 0; i < rounds; ++i) {
    pugi = std::min(pugi, Best(1, pugiPass));
    whole = std::min(whole, Best(1, wholePass));
  }

  // Our stages, each over all records.
  std::vector<metashelf::model::DecodedText> decoded(records.size());
  std::string error;
  const double decode = Best(rounds, [&] {
    for (std::size_t i = 0; i < records.size(); ++i)
      metashelf::model::DecodeRecordBytes(records[i].bytes.data(), records[i].bytes.size(),
                                          decoded[i], error);
  });
  std::vector<metashelf::model::RecordParts> parts(records.size());
  std::vector<ValidationIssue> issues;
  const double decompose = Best(rounds, [&] {
    for (std::size_t i = 0; i < records.size(); ++i)
      metashelf::model::Decompose(&records[i].schema->impl()->model, decoded[i], parts[i], issues,
                                  error);
  });
  const double rebuild = Best(rounds, [&] {
    for (const auto& p : parts) {
      metashelf::model::Rebuild(p, xml, error);
      sink += xml.size();
    }
  });
  std::printf("records: %zu, %.2f MB (best of %d rounds)\n", records.size(), mb, rounds);
  std::printf("pugixml parse + serialise : %8.1f MB/s\n", mb / pugi);
  std::printf("LoadXml + ToXml           : %8.1f MB/s   ratio to pugixml %.2fx\n", mb / whole,
              pugi / whole);
  std::printf("  decode + check bytes    : %8.1f MB/s   (%4.1f%% of the stages)\n", mb / decode,
              100 * decode / (decode + decompose + rebuild));
  std::printf("  scan + decompose        : %8.1f MB/s   (%4.1f%%)\n", mb / decompose,
              100 * decompose / (decode + decompose + rebuild));
  std::printf("  rebuild                 : %8.1f MB/s   (%4.1f%%)\n", mb / rebuild,
              100 * rebuild / (decode + decompose + rebuild));
  return sink == 0 ? 1 : 0;
}
