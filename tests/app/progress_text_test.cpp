// The progress arithmetic and wording: the combined record of several tasks,
// the speed line, the bar, the percentage, the title and the saved time, at
// their limits.
#include "app/progress_text.h"

#include <gtest/gtest.h>

namespace {

dl_task_info Task(uint64_t total, uint64_t done, uint64_t elapsed, int state, uint32_t speed) {
    dl_task_info info = {};
    info.total_size = total;
    info.downloaded_size = done;
    info.elapsed_ms = elapsed;
    info.state = state;
    info.speed = speed;
    return info;
}

TEST(Aggregate, TheGameSizeIsTheTotalAndOnlyRunningTasksAddSpeed) {
    const std::vector<dl_task_info> tasks = {
        Task(1000, 400, 5000, dl_state_running, 300),
        Task(2000, 2000, 9000, dl_state_complete, 77),  // finished: its speed is stale
        Task(3000, 100, 7000, dl_state_stopped, 55),    // paused: bytes but no speed
        Task(4000, 0, 0x100000000ull, dl_state_starting, 11),
        Task(0, 1, 0, dl_state_running, 200),
    };
    const dl_task_info sum = AggregateProgress(tasks, 123456789ull);
    EXPECT_EQ(123456789ull, sum.total_size);
    EXPECT_EQ(400u + 2000 + 100 + 0 + 1, sum.downloaded_size);
    EXPECT_EQ(0x100000000ull, sum.elapsed_ms);  // the largest, compared unsigned
    EXPECT_EQ(500u, sum.speed);
    EXPECT_EQ(0, sum.state);
    EXPECT_EQ(0u, sum.reserved1);
    EXPECT_EQ(0u, sum.reserved2);

    const dl_task_info none = AggregateProgress({}, 0);
    EXPECT_EQ(0u, none.total_size);
    EXPECT_EQ(0u, none.downloaded_size);
    EXPECT_EQ(0u, none.speed);

    // Every task paused: no speed at all.
    const dl_task_info paused = AggregateProgress(
        {Task(1, 5, 1, dl_state_stopped, 9), Task(1, 6, 1, dl_state_stopped, 9)}, 100);
    EXPECT_EQ(0u, paused.speed);
    EXPECT_EQ(11u, paused.downloaded_size);
    EXPECT_EQ(L"0B/S 还需: ---", SpeedLine(paused.total_size, paused.downloaded_size, 0));
}

TEST(Percent, OnlyMovesWithATotalAndStaysWithinAHundred) {
    int percent = 37;
    EXPECT_EQ(0, UpdatePercent(0, 5000, percent));
    EXPECT_EQ(37, percent);
    EXPECT_EQ(1, UpdatePercent(400, 0, percent));
    EXPECT_EQ(0, percent);
    EXPECT_EQ(1, UpdatePercent(400, 399, percent));
    EXPECT_EQ(99, percent);  // whole percent, rounded down
    EXPECT_EQ(1, UpdatePercent(400, 400, percent));
    EXPECT_EQ(100, percent);
    EXPECT_EQ(1, UpdatePercent(400, 4000, percent));
    EXPECT_EQ(100, percent);
    // Sizes where downloaded x 100 no longer fits in 64 bits.
    const uint64_t huge = 0xF000000000000000ull;
    EXPECT_EQ(1, UpdatePercent(huge, huge / 2, percent));
    EXPECT_EQ(50, percent);
}

TEST(SpeedLine, SizeAndTimeAtTheirLimits) {
    EXPECT_EQ(L"0B/S 还需: ---", SpeedLine(1000, 10, 0));
    EXPECT_EQ(L"1000B/S  还需: 59秒", SpeedLine(59000, 0, 1000));
    EXPECT_EQ(L"1.00KB/S  还需: 1分5秒", SpeedLine(1024 * 65 + 1000, 1000, 1024));
    EXPECT_EQ(L"1.00MB/S  还需: 1小时1分", SpeedLine(3660ull << 20, 0, 1u << 20));
    // Integer division: 1.9 s left reads 1 s.
    EXPECT_EQ(L"1000B/S  还需: 1秒", SpeedLine(1900, 0, 1000));
    EXPECT_EQ(L"1B/S  还需: 大于一个月", SpeedLine(31ull * 86400, 0, 1));
    EXPECT_EQ(L"4.00GB/S  还需: 0秒", SpeedLine(100, 0, 0xFFFFFFFFu));
    // More than the configured size arrived: nothing left, not a wrapped count.
    EXPECT_EQ(L"1000B/S  还需: 0秒", SpeedLine(1000, 5000, 1000));
    // No configured size: the time cannot be told.
    EXPECT_EQ(L"1000B/S  还需: ---", SpeedLine(0, 5000, 1000));
}

TEST(Bar, CaptionPositionAndTaskbarValue) {
    EXPECT_EQ(L"0B/0B", BarCaption(0, 0));
    EXPECT_EQ(L"1.50KB/0B", BarCaption(0, 1536));
    EXPECT_EQ(L"512.00MB/1.00GB", BarCaption(1ull << 30, 512ull << 20));
    EXPECT_EQ(0, BarPosition(0, 400, 1000, 0));
    EXPECT_EQ(200, BarPosition(0, 400, 1000, 500));
    EXPECT_EQ(399, BarPosition(0, 400, 1000, 999));
    EXPECT_EQ(400, BarPosition(0, 400, 1000, 1000));
    EXPECT_EQ(400, BarPosition(0, 400, 1000, 999999));  // never past the end
    EXPECT_EQ(150, BarPosition(100, 200, 10, 5));       // from the low end
    EXPECT_EQ(100, BarPosition(100, 100, 10, 5));       // an empty range
    EXPECT_EQ(200, BarPosition(0, 400, 0xF000000000000000ull, 0x7800000000000000ull));
    EXPECT_EQ(0, TaskbarValue(3, 0));
    EXPECT_EQ(33, TaskbarValue(3, 1));
    EXPECT_EQ(100, TaskbarValue(3, 3));
    EXPECT_EQ(100, TaskbarValue(3, 7));
}

TEST(Title, PercentageUntilAHundred) {
    const std::wstring title = L"高速下载器";
    EXPECT_EQ(L"高速下载器-0%", TitleWithPercent(title, 0, 12345));
    EXPECT_EQ(L"高速下载器-0%", TitleWithPercent(title, 1000, 9));
    EXPECT_EQ(L"高速下载器-1%", TitleWithPercent(title, 1000, 10));
    EXPECT_EQ(L"高速下载器-99%", TitleWithPercent(title, 1000, 999));
    EXPECT_EQ(L"高速下载器", TitleWithPercent(title, 1000, 1000));
    EXPECT_EQ(L"高速下载器", TitleWithPercent(title, 1000, 2000));
    EXPECT_EQ(L"-50%", TitleWithPercent(L"", 2, 1));
}

TEST(SavedTime, SizeInFourHundredKibStepsLessTheOffset) {
    const uint64_t step = 400 * 1024;
    EXPECT_EQ(1000 - 60, SavedSeconds(1000 * step, 60, 7));
    EXPECT_EQ(1000 + 60, SavedSeconds(1000 * step, -60, 7));
    EXPECT_EQ(1000, SavedSeconds(1000 * step + step - 1, 0, 7));  // both divisions truncate
    // Below one step: 0 - offset, or the fallback when that is negative.
    EXPECT_EQ(60, SavedSeconds(step - 1, -60, 7));
    EXPECT_EQ(0, SavedSeconds(0, 0, 7));
    EXPECT_EQ(7, SavedSeconds(0, 1, 7));
    EXPECT_EQ(7, SavedSeconds(59 * step, 60, 7));
    EXPECT_EQ(static_cast<int64_t>(UINT64_MAX / 400 / 1024) + 60, SavedSeconds(UINT64_MAX, -60, 7));
    // Drawn: within the offset's reach of the steps, or 0..59 below it.
    for (int i = 0; i < 20; ++i) {
        const int64_t big = SavedTime(100000 * step);
        EXPECT_GE(big, 100000 - 60);
        EXPECT_LE(big, 100000 + 60);
        const int64_t small = SavedTime(10 * step);
        EXPECT_GE(small, 0);
        EXPECT_LE(small, 70);
    }
}

}  // namespace
