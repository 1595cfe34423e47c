// Failures on real databases: a failed add inside a host transaction that
// is rolled back leaves no trace, and a failure injected at any driver call
// of an add is never reported as success.
#include "dataset/real_set.h"
#include "internal/backend.h"

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

  // Count the calls of one clean add, then fail each of them in turn.
  ASSERT_EQ(db->Begin(), 1);
  faults->Clear();
  ASSERT_GT(set.AddMetaData(record.get()), 0);
  std::vector<std::pair<Call, int>> calls;
  for (int c = static_cast<int>(Call::kAllocStmt); c <= static_cast<int>(Call::kFreeStmt); ++c) {
    calls.emplace_back(static_cast<Call>(c), faults->Count(static_cast<Call>(c)));
  }
  ASSERT_EQ(db->Rollback(), 1);

  int failures = 0;
  for (const auto& [call, total] : calls) {
    for (int n = 1; n <= total; ++n) {
      SCOPED_TRACE(std::string(metashelf::driver::CallName(call)) + " #" + std::to_string(n));
      ASSERT_EQ(db->Begin(), 1);
      faults->Clear();
      faults->FailNth(call, n);
      const std::int64_t id = set.AddMetaData(record.get());
      faults->Clear();
      if (id > 0) {
        // Reported as written: it must be there whole.
        CBaseMetaData back(schema);
        ASSERT_EQ(set.GetMetaData(id, &back), 1);
        EXPECT_EQ(Xml(back), expected);
      } else {
        ++failures;
      }
      ASSERT_EQ(db->Rollback(), 1);
    }
  }
  EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, RealSetFailureTest, ::testing::Values("sqlite", "postgresql"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
