// Failures on real databases: a failed add inside a host transaction that
// is rolled back leaves no trace, and a failure injected at any driver call
// of an add is never reported as success (on PostgreSQL, where an add is a
// pipelined write unit, nor leaves anything behind by itself).
#include "dataset/real_set.h"
#include "internal/backend.h"
#include "metashelf/record_add.h"

using metashelf::driver::Call;
using settest::CorpusFiles;
using settest::RealSetTest;

namespace {

using RealSetFailureTest = RealSetTest;

// The smallest corpus record keeps the many runs below short.
std::string SmallestRecord() {
  std::string best;
  std::uintmax_t bestSize = 0;
  for (const auto& path : CorpusFiles()) {
    const std::uintmax_t size = std::filesystem::file_size(path);
    if (best.empty() || size < bestSize) {
      best = path;
      bestSize = size;
    }
  }
  return best;
}

TEST_P(RealSetFailureTest, RolledBackFailedAddLeavesNoTrace) {
  const std::string path = SmallestRecord();
  if (path.empty()) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  auto record = Load(path);
  auto* faults = metashelf::driver::Faults(hdbc);
  ASSERT_NE(faults, nullptr);
  ASSERT_EQ(db->Begin(), 1) << db->LastError();
  faults->FailNth(Call::kPutData, 2);  // the prolog document
  EXPECT_EQ(set.AddMetaData(record.get()), 0);
  faults->Clear();
  ASSERT_EQ(db->Rollback(), 1) << db->LastError();
  std::int32_t count = -1;
  ASSERT_EQ(set.GetNum(&count), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_STRUCTINFO_")), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDTEXT_")), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDNUMBER_")), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDDATETIME_")), 0);
}

TEST_P(RealSetFailureTest, AFailureAtAnyDriverCallOfAnAddIsNeverReportedAsSuccess) {
  const std::string path = SmallestRecord();
  if (path.empty()) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  auto record = Load(path);
  const std::string expected = Xml(*record);
  auto* faults = metashelf::driver::Faults(hdbc);
  ASSERT_NE(faults, nullptr);
  const auto all = [&] {
    std::int32_t n = 0;
    for (const char* t :
         {"META_STRUCTINFO_", "META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
      n += Count("SELECT COUNT(*) FROM " + Table(t));
    }
    // Other tests may share the owner: only this collection's records count.
    return n + Count("SELECT COUNT(*) FROM " + owner +
                     ".KRDB_META_INFO WHERE COL_ID=" + std::to_string(colID));
  };

  // Count the calls of one clean add, then fail each of them in turn.
  ASSERT_EQ(db->Begin(), 1);
  faults->Clear();
  ASSERT_GT(set.AddMetaData(record.get()), 0);
  std::vector<std::pair<Call, int>> calls;
  for (int c = static_cast<int>(Call::kAllocStmt); c <= static_cast<int>(Call::kEndUnit); ++c) {
    if (static_cast<Call>(c) == Call::kError) continue;
    calls.emplace_back(static_cast<Call>(c), faults->Count(static_cast<Call>(c)));
  }
  ASSERT_EQ(db->Rollback(), 1);

  // In the host's transaction (rolled back after each run), and on
  // PostgreSQL also without one: there a write unit alone must leave either
  // the whole record or nothing, and the connection must serve the next add.
  std::vector<bool> hostTransaction{true};
  if (GetParam() == "postgresql") hostTransaction.push_back(false);
  int failures = 0;
  for (const bool inTransaction : hostTransaction) {
    for (const auto& [call, total] : calls) {
      for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE(std::string(metashelf::driver::CallName(call)) + " #" + std::to_string(n) +
                     (inTransaction ? " in a host transaction" : " alone"));
        if (inTransaction) {
          ASSERT_EQ(db->Begin(), 1);
        }
        const std::int32_t before = all();
        faults->Clear();
        faults->FailNth(call, n);
        const std::int64_t id = set.AddMetaData(record.get());
        faults->Clear();
        if (id > 0) {
          // Reported as written: it must be there whole.
          CBaseMetaData back(schema);
          ASSERT_EQ(set.GetMetaData(id, &back), 1);
          EXPECT_EQ(Xml(back), expected);
          if (!inTransaction) {
            ASSERT_EQ(set.DelMetaData(id), 1);
          }
        } else {
          ++failures;
          if (!inTransaction) {
            EXPECT_EQ(all(), before) << "a failed add left rows behind";
          }
        }
        if (inTransaction) {
          ASSERT_EQ(db->Rollback(), 1);
        } else {
          const std::int64_t next = set.AddMetaData(record.get());
          ASSERT_GT(next, 0) << "the connection did not serve the next add";
          ASSERT_EQ(set.DelMetaData(next), 1);
        }
      }
    }
  }
  EXPECT_GT(failures, 0);
}

// A record added with its remark is registered with it in one unit; a
// remark the catalog refuses fails the whole add and leaves nothing.
TEST_P(RealSetFailureTest, AnAddWithItsRemarkStoresBothOrNeither) {
  const std::string path = SmallestRecord();
  if (path.empty()) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  auto record = Load(path);
  const std::string expected = Xml(*record);
  struct Case {
    std::string remark;
    bool stored;
    std::string kept;  // REMARK as read back (the info record holds 511 bytes)
  };
  const Case cases[] = {
      {"file.xml", true, "file.xml"},
      {"", true, ""},
      {std::string(512, 'r'), true, std::string(511, 'r')},
      {std::string(513, 'r'), false, ""},
      // 257 characters in 514 bytes: the limit counts bytes.
      {[] {
         std::string twoByte;
         for (int i = 0; i < 257; ++i) twoByte += "\xC3\xA9";
         return twoByte;
       }(),
       false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remark.substr(0, 16));
    std::int32_t before = -1;
    ASSERT_EQ(set.GetNum(&before), 1);
    const std::int64_t id = MsAddMetaData(&set, record.get(), c.remark.c_str());
    std::int32_t after = -1;
    ASSERT_EQ(set.GetNum(&after), 1);
    if (!c.stored) {
      // -1 where the registration is refused at once, 0 where the refusal
      // comes with the unit's end: a failure either way.
      EXPECT_LE(id, 0);
      EXPECT_EQ(db->LastStatementError().native, 12899);
      EXPECT_EQ(after, before);
      continue;
    }
    ASSERT_GT(id, 0) << db->LastStatementError().message;
    EXPECT_EQ(after, before + 1);
    X_CLS_METAINFO info{};
    ASSERT_EQ(catalog.meta_GetInfo(id, &info), 1);
    EXPECT_EQ(info.remark, c.kept);
    CBaseMetaData back(schema);
    ASSERT_EQ(set.GetMetaData(id, &back), 1);
    EXPECT_EQ(Xml(back), expected);
  }
  EXPECT_EQ(MsAddMetaData(nullptr, record.get(), "r"), -1);
}

METASHELF_ON_EVERY_BACKEND(RealSetFailureTest);

}  // namespace
