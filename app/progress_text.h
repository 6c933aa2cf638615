#pragma once
// The arithmetic and wording that show one download made of several tasks as
// if it were one file: the combined record, the speed line, the progress
// bar's caption and position, the percentage and the saved time. No system
// calls: the window code and the tests use the same functions.

#include <cstdint>
#include <string>
#include <vector>

#include "service/dl_api.h"

// Combines the records of the game's tasks, in list order. The total is the
// configured game size whatever the tasks say; the downloaded sizes add up;
// the elapsed time is the longest; only running tasks add their speed. The
// state stays 0.
dl_task_info AggregateProgress(const std::vector<dl_task_info>& tasks, uint64_t game_size);

// Whole percentage of downloaded against total, at most 100. With no total
// there is nothing to measure: percent keeps its value and 0 is returned;
// otherwise percent is set and 1 returned.
int UpdatePercent(uint64_t total, uint64_t downloaded, int& percent);

// "0B/S 还需: ---" when nothing flows; else the speed's size text + "/S  还需: "
// + the time the rest needs at that speed. Without a known total the time is
// "---"; once everything (or more) has arrived it is no time at all.
std::wstring SpeedLine(uint64_t total, uint64_t downloaded, uint32_t speed);

// Downloaded size text + "/" + total size text.
std::wstring BarCaption(uint64_t total, uint64_t downloaded);

// Where the bar stands within low..high; never outside it, also when more
// than the total has arrived. total must not be 0.
int BarPosition(int low, int high, uint64_t total, uint64_t downloaded);

// The value of the taskbar button, 0 to 100 of 100. total must not be 0.
int TaskbarValue(uint64_t total, uint64_t downloaded);

// The window title while downloading: the plain title at 100 %, else title +
// "-" + percentage + "%" (0 % without a total).
std::wstring TitleWithPercent(const std::wstring& title, uint64_t total, uint64_t downloaded);

// The seconds a download of game_size bytes is said to have saved: the size
// in 400 KiB steps less the drawn offset (-60..60); when that is negative,
// fallback (0..59) instead.
int64_t SavedSeconds(uint64_t game_size, int offset, int fallback);
// The same with the offset and the fallback drawn from the C library's
// generator, seeded with the current time.
int64_t SavedTime(uint64_t game_size);
