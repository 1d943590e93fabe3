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

// A clock the test moves by hand.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    AnalysisProgress::Clock Fn() {
        return [this] { return now; };
    }
};

TEST(AnalysisProgressTest, UpdatesEveryThousandthCallWithChangedFieldsOnly) {
    test::RecordingProgress sink;
    int texts = 0;
    sink.onText = [&](ProgressField, const std::string&) { ++texts; };
    ManualClock clock;
    AnalysisProgress p(sink, clock.Fn());
    for (int i = 0; i < 999; ++i) p.UpdateProgress(5 << 20, 1, 2, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 0);
    p.UpdateProgress(5 << 20, 1, 2, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 4);
    EXPECT_EQ(sink.last[ProgressField::Value], "5.000 MB");
    EXPECT_EQ(sink.last[ProgressField::LastName], "a.txt");
    clock.now += AnalysisProgress::kMinInterval;
    for (int i = 0; i < 1000; ++i) p.UpdateProgress(5 << 20, 1, 3, u"a.txt", ProgressMode::Size);
    EXPECT_EQ(texts, 5) << "only the file count changed";
    EXPECT_EQ(sink.last[ProgressField::Files], "3");
}

// A fast scan is held to a few dozen updates a second, a slow one still
// moves a few times a second, and a phase change shows at once.
TEST(AnalysisProgressTest, UpdatesAreThrottledByTimeAsWellAsByCount) {
    test::RecordingProgress sink;
    int files = 0;
    sink.onText = [&](ProgressField f, const std::string&) { files += f == ProgressField::Files; };
    ManualClock clock;
    AnalysisProgress p(sink, clock.Fn());
    std::uint32_t n = 0;
    for (int i = 0; i < 1000; ++i) p.UpdateProgress(0, 0, ++n, u"", ProgressMode::Size);
    EXPECT_EQ(files, 1);
    // 100,000 items within one millisecond: no update before the interval.
    for (int i = 0; i < 100000; ++i) p.UpdateProgress(0, 0, ++n, u"", ProgressMode::Size);
    EXPECT_EQ(files, 1);
    clock.now += AnalysisProgress::kMinInterval;
    for (int i = 0; i < 16; ++i) p.UpdateProgress(0, 0, ++n, u"", ProgressMode::Size);
    EXPECT_EQ(files, 2) << "due by count long ago, due by time now";

    // Ten items, each slower than the longest wait: the count would take
    // a thousand of them.
    for (int i = 0; i < 10; ++i) {
        clock.now += AnalysisProgress::kMaxInterval;
        for (int j = 0; j < 16; ++j) p.UpdateProgress(0, 0, ++n, u"", ProgressMode::Size);
    }
    EXPECT_EQ(files, 12);

    p.Flush();
    p.UpdateProgress(0, 0, ++n, u"", ProgressMode::Size);
    EXPECT_EQ(files, 13) << "a flush is not held back by the interval";
}

// The texts the figures become, which both front ends show.
TEST(ProgressTextsTest, FiguresBecomeTheFieldsTexts) {
    using Kind = base::ProgressCounts::Kind;
    base::ProgressCounts c;
    c.kind = Kind::Size;
    c.value = 3ull << 30;
    EXPECT_EQ(base::ProgressTexts::ValueText(c), "3.000 GB");
    EXPECT_EQ(base::ProgressTexts::DetailText(c), "");
    c.kind = Kind::Sector;
    c.value = 77;
    c.endSector = 2048;
    EXPECT_EQ(base::ProgressTexts::ValueText(c), "77/2048");
    c.ntfs = true;
    c.indexBlocks = 9;
    EXPECT_EQ(base::ProgressTexts::ValueText(c), "9");
    EXPECT_EQ(base::ProgressTexts::DetailText(c), " Analysing  Sectors :     77/2048");

    // Only what changed is sent again; an empty first name is still shown.
    test::RecordingProgress sink;
    std::vector<ProgressField> sent;
    sink.onText = [&](ProgressField f, const std::string&) { sent.push_back(f); };
    base::ProgressTexts texts;
    base::ProgressCounts s;
    texts.Send(s, sink);
    EXPECT_EQ(sent.size(), 4u);
    sent.clear();
    s.files = 1;
    s.lastName = "\xc3\xa9.txt";
    texts.Send(s, sink);
    EXPECT_EQ(sent, (std::vector<ProgressField>{ProgressField::Files, ProgressField::LastName}));
    EXPECT_EQ(sink.last[ProgressField::LastName], "\xc3\xa9.txt");
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
