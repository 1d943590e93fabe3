#include "analysis/analysis_progress.h"

#include <gtest/gtest.h>

#include "base/size_text.h"
#include "support/analysis_harness.h"

namespace dravik::analysis {
namespace {

using base::ProgressField;

TEST(SizeText, UnitsChangeJustAboveEachPowerOfTwo) {
    EXPECT_EQ(base::SizeText(0), "0.000 MB");
    EXPECT_EQ(base::SizeText(1ull << 30), "1024.000 MB");
    EXPECT_EQ(base::SizeText((1ull << 30) + 1), "1.000 GB");
    EXPECT_EQ(base::SizeText(1ull << 40), "1024.000 GB");
    EXPECT_EQ(base::SizeText(3ull << 40), "3.000 TB");
}

TEST(AnalysisProgressTest, UpdatesEveryThousandthCallWithChangedFieldsOnly) {
    test::RecordingProgress sink;
    int texts = 0;
    sink.onText = [&](ProgressField, const std::string&) { ++texts; };
    AnalysisProgress p(sink);
    for (int i = 0; i < 999; ++i) p.UpdateProgress(5 << 20, 1, 2, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 0);
    p.UpdateProgress(5 << 20, 1, 2, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 4);
    EXPECT_EQ(sink.last[ProgressField::Value], "5.000 MB");
    EXPECT_EQ(sink.last[ProgressField::LastName], "a.txt");
    for (int i = 0; i < 1000; ++i) p.UpdateProgress(5 << 20, 1, 3, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 5) << "only the file count changed";
    EXPECT_EQ(sink.last[ProgressField::Files], "3");
}

TEST(AnalysisProgressTest, SectorModeShowsIndexBlocksOnNtfs) {
    test::RecordingProgress sink;
    AnalysisProgress p(sink);
    p.SetSectorContext(5000, false);
    p.Flush();
    p.UpdateProgress(1234, 0, 0, u"", ProgressMode::Sector);
    EXPECT_EQ(sink.last[ProgressField::Value], "1234/5000");
    p.SetSectorContext(5000, true);
    p.SetIndexBlockCount(17);
    p.Flush();
    p.UpdateProgress(1300, 0, 0, u"", ProgressMode::Sector);
    EXPECT_EQ(sink.last[ProgressField::Value], "17");
    EXPECT_EQ(sink.last[ProgressField::Detail], " Analysing  Sectors :     1300/5000");
}

TEST(AnalysisProgressTest, HiddenDetailsAreHiddenOnceAndNotUpdated) {
    test::RecordingProgress sink;
    AnalysisProgress p(sink);
    p.SetHideDetails(true);
    for (int i = 0; i < 5000; ++i) p.UpdateProgress(i, 1, 2, u"x", ProgressMode::Size);
    EXPECT_EQ(sink.hides, 1);
    EXPECT_TRUE(sink.last.empty());
    p.SetHideDetails(false);
    p.Flush();
    p.UpdateProgress(1, 1, 2, u"x", ProgressMode::Size);
    EXPECT_EQ(sink.last[ProgressField::Files], "2");
}

TEST(AnalysisProgressTest, PercentIsSentWhenItChanges) {
    test::RecordingProgress sink;
    AnalysisProgress p(sink);
    for (int i = 0; i <= 1000; ++i) p.Percent(i, 1000);
    EXPECT_EQ(sink.percents.size(), 101u);
    p.Percent(5000, 1000);
    EXPECT_EQ(sink.percents.back(), 100);
    p.Percent(1, 0);  // nothing to measure against
    EXPECT_EQ(sink.percents.size(), 101u);
}

}  // namespace
}  // namespace dravik::analysis

#include "analysis/pipeline.h"
#include "base/elapsed.h"

namespace dravik::analysis {
namespace {

TEST(ElapsedClockTest, PausesAreNotCounted) {
    using namespace std::chrono;
    base::ElapsedClock clock;
    const auto t0 = steady_clock::now();
    clock.Restart(t0);
    clock.Pause(t0 + seconds(10));
    EXPECT_EQ(clock.Elapsed(t0 + seconds(500)), seconds(10)) << "frozen while paused";
    clock.Resume(t0 + seconds(70));
    EXPECT_EQ(base::ElapsedText(clock.Elapsed(t0 + seconds(3725 + 60))), "1 : 2 : 5");
}

TEST(VolumeOrdinal, TakenFromTheEntryText) {
    EXPECT_EQ(VolumeOrdinalFromEntryText("File System 1 - NTFS"), 1u);
    EXPECT_EQ(VolumeOrdinalFromEntryText("File System 12 - FAT32"), 12u);
    EXPECT_EQ(VolumeOrdinalFromEntryText("File System "), 0u);
    EXPECT_EQ(VolumeOrdinalFromEntryText("junk"), 0u);
    EXPECT_EQ(VolumeOrdinalFromEntryText("File System 99999999999 - NTFS"), 0u);
}

}  // namespace
}  // namespace dravik::analysis
