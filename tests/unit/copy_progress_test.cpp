// The numbers of a save run made into the progress page's texts, the bars'
// percentages, and the throttle that decides when an update goes out.
#include "saving/copy_progress.h"

#include <gtest/gtest.h>

namespace dravik::saving {
namespace {

using namespace std::chrono_literals;

CopyCounts Counts(std::uint64_t written, std::uint64_t selected, std::int64_t elapsed, std::int64_t paused = 0) {
    CopyCounts c;
    c.file = "/to/Docs/Letters/a.txt";
    c.bytesWritten = written;
    c.selectedBytes = selected;
    c.elapsedSeconds = elapsed;
    c.pausedSeconds = paused;
    return c;
}

TEST(CopyProgressTexts, SizesAndNamesAsThePageShowsThem) {
    constexpr std::uint64_t kGb = std::uint64_t(1) << 30, kTb = std::uint64_t(1) << 40;
    const auto t = CopyProgressTexts::Of(Counts(kGb, kGb + 1, 0));
    EXPECT_EQ(t.folderName, "/to/Docs/Letters/");
    EXPECT_EQ(t.lastDataName, "a.txt");
    EXPECT_EQ(t.dataCopied, "1024.000 MB size in") << "exactly 2^30 bytes is still MB";
    EXPECT_EQ(t.dataSize, "1.000 GB size in");
    EXPECT_EQ(CopyProgressTexts::Of(Counts(kTb, kTb + kTb / 2, 0)).dataSize, "1.500 TB size in");
    EXPECT_EQ(CopyProgressTexts::Of(Counts(kTb, kTb, 0)).dataSize, "1024.000 GB size in");
    EXPECT_EQ(CopyProgressTexts::Of(Counts(0, 512 * 1024, 0)).dataSize, "0.500 MB size in");
    EXPECT_EQ(*t.Field(CopyField::DataSize), t.dataSize);
    EXPECT_EQ(*t.Field(CopyField::FolderName), t.folderName);

    // Before the first file there are no names to show, and none are sent.
    CopyCounts none = Counts(0, 10, 0);
    none.file.clear();
    const auto n = CopyProgressTexts::Of(none);
    EXPECT_FALSE(n.Field(CopyField::FolderName));
    EXPECT_FALSE(n.Field(CopyField::LastDataName));
    EXPECT_TRUE(n.Field(CopyField::DataCopied));
}

TEST(CopyProgressTexts, TimesFromTheRunsOwnRateWithPausesLeftOut) {
    // No second yet (or all of it paused): both read "00:00:00".
    for (const auto& c : {Counts(100, 1000, 0), Counts(100, 1000, 5, 5), Counts(100, 1000, 3, 7)}) {
        const auto t = CopyProgressTexts::Of(c);
        EXPECT_EQ(t.timeLeft, "00:00:00");
        EXPECT_EQ(t.timeElapsed, "00:00:00");
    }
    // 125 s running, 25 of them paused: 100 s at 10 bytes/s, 6250 bytes to go.
    const auto t = CopyProgressTexts::Of(Counts(1000, 7250, 125, 25));
    EXPECT_EQ(t.timeElapsed, "1 Min 40 Sec");
    EXPECT_EQ(t.timeLeft, "10 Min 25 Sec");
    EXPECT_EQ(*t.Field(CopyField::TimeLeft), "10 Min 25 Sec");
    // Minutes are not folded into hours.
    EXPECT_EQ(MinSecText(3 * 3600 + 7), "180 Min 7 Sec");
    // A rate below one byte a second keeps what the page showed.
    const auto slow = CopyProgressTexts::Of(Counts(5, 100, 10));
    EXPECT_FALSE(slow.timeLeft);
    EXPECT_FALSE(slow.timeElapsed);
    EXPECT_FALSE(slow.Field(CopyField::TimeElapsed));
    // Everything written (a skipped conflict may count past the total).
    EXPECT_EQ(CopyProgressTexts::Of(Counts(100, 100, 4)).timeLeft, "0 Min 0 Sec");
    EXPECT_EQ(CopyProgressTexts::Of(Counts(200, 100, 4)).timeLeft, "0 Min 0 Sec");
}

TEST(CopyProgressTexts, BarsStayUntilThereIsSomethingToShow) {
    CopyCounts c = Counts(0, 0, 0);
    EXPECT_FALSE(OverallPercent(c)) << "nothing written";
    EXPECT_FALSE(FilePercent(c)) << "an empty file";
    c.bytesWritten = 10;
    EXPECT_FALSE(OverallPercent(c)) << "nothing selected";
    c.selectedBytes = 40;
    EXPECT_EQ(OverallPercent(c), 25);
    c.bytesWritten = 80;
    EXPECT_EQ(OverallPercent(c), 100) << "at most 100";
    c.fileSize = 3;
    c.fileWritten = 2;
    EXPECT_EQ(FilePercent(c), 66);
    c.fileWritten = 0;
    EXPECT_EQ(FilePercent(c), 0) << "a file asked about starts at 0";
    // Totals that damaged records claim must not wrap the product.
    c.selectedBytes = UINT64_MAX;
    c.bytesWritten = UINT64_MAX / 2;
    EXPECT_EQ(OverallPercent(c), 50);
}

TEST(UpdateThrottle, OneUpdateAGapAndTheClockReadEveryFewCalls) {
    const auto t0 = UpdateThrottle::Clock::time_point{} + 1h;
    UpdateThrottle th(50ms, 4);
    EXPECT_TRUE(th.Due(t0)) << "the first update goes out at once";
    // Within the gap nothing is due however many calls come.
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(th.Due(t0 + 10ms));
    // Past the gap: due at the next call that reads the clock (every 4th).
    int calls = 0;
    while (!th.Due(t0 + 60ms)) ASSERT_LT(++calls, 4);
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(th.Due(t0 + 100ms)) << "the gap counts from the last update";
    // An update sent regardless (a prompt, the last one) restarts the gap.
    UpdateThrottle forced(50ms, 1);
    forced.Sent(t0);
    EXPECT_FALSE(forced.Due(t0 + 49ms));
    EXPECT_TRUE(forced.Due(t0 + 50ms));
}

}  // namespace
}  // namespace dravik::saving
