// Progress reporting: formatting, the plain-line policy when the output is
// not a terminal, silence when quiet, notes clearing the bar.
#include "progress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using metashelf::cli::FormatBar;
using metashelf::cli::FormatDuration;
using metashelf::cli::FormatStatus;
using metashelf::cli::Progress;
using metashelf::cli::ProgressMode;

TEST(ProgressTest, Formatting) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(7.4), "0:07");
  EXPECT_EQ(FormatDuration(725), "12:05");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-1), "--:--");
  EXPECT_EQ(FormatBar(0, 10, 10), "[----------]");
  EXPECT_EQ(FormatBar(5, 10, 10), "[#####-----]");
  EXPECT_EQ(FormatBar(12, 10, 4), "[####]");
  EXPECT_EQ(FormatBar(0, 0, 4), "[####]");
  EXPECT_EQ(FormatStatus(50, 200, 10), "50/200  25%  5.0 records/s  0:10 elapsed  0:30 left");
  EXPECT_EQ(FormatStatus(0, 200, 0), "0/200   0%  0.0 records/s  0:00 elapsed  --:-- left");
}

TEST(ProgressTest, PlainLinesAtEachTenthAndAtTheEnd) {
  double now = 0;
  std::ostringstream out;
  {
    Progress p(out, ProgressMode::kLines, 100, "import", [&] { return now; });
    for (int i = 1; i <= 100; ++i) {
      now += 0.01;
      p.Update(i);
    }
    p.Finish();
  }
  const std::string text = out.str();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find("\033"), std::string::npos);
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 10u);  // 10%, 20% ... 100%, the last one not repeated
  EXPECT_NE(text.find("100/100 100%"), std::string::npos);
}

TEST(ProgressTest, QuietPrintsOnlyNotes) {
  std::ostringstream out;
  {
    Progress p(out, ProgressMode::kQuiet, 3, "import");
    p.Update(1);
    p.Note("a.xml: rejected");
    p.Update(3);
  }
  EXPECT_EQ(out.str(), "a.xml: rejected\n");
}

TEST(ProgressTest, TerminalBarIsClearedBeforeANote) {
  double now = 0;
  std::ostringstream out;
  Progress p(out, ProgressMode::kTerminal, 4, "import", [&] { return now; });
  now = 1;
  p.Update(1);
  p.Note("b.xml: rejected");
  p.Finish();
  const std::string text = out.str();
  const std::size_t note = text.find("b.xml: rejected\n");
  ASSERT_NE(note, std::string::npos);
  EXPECT_EQ(text.substr(note - 4, 4), "\r\033[K");
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("[#######"), std::string::npos);
}
