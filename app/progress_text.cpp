#include "app/progress_text.h"

#include <cstdlib>
#include <ctime>

#include "host/text_format.h"

namespace {

std::wstring Size(uint64_t bytes) {
    std::wstring text;
    size_text(bytes, text);
    return text;
}

// downloaded scaled into range / total without overflowing 64 bits for any
// size a drive can hold: both sides lose their low bits together when needed.
uint64_t Scaled(uint64_t range, uint64_t total, uint64_t downloaded) {
    if (downloaded >= total) {
        return range;
    }
    while (range != 0 && downloaded > UINT64_MAX / range) {
        downloaded >>= 1;
        total >>= 1;
    }
    return total == 0 ? 0 : range * downloaded / total;
}

}  // namespace

dl_task_info AggregateProgress(const std::vector<dl_task_info>& tasks, uint64_t game_size) {
    dl_task_info sum = {};
    sum.total_size = game_size;
    for (const dl_task_info& task : tasks) {
        sum.downloaded_size += task.downloaded_size;
        sum.reserved1 += task.reserved1;
        if (task.elapsed_ms > sum.elapsed_ms) {
            sum.elapsed_ms = task.elapsed_ms;
        }
        if (task.state == dl_state_running) {
            sum.speed += task.speed;
        }
        sum.reserved2 += task.reserved2;
    }
    return sum;
}

int UpdatePercent(uint64_t total, uint64_t downloaded, int& percent) {
    if (total == 0) {
        return 0;
    }
    percent = static_cast<int>(Scaled(100, total, downloaded));
    return 1;
}

std::wstring SpeedLine(uint64_t total, uint64_t downloaded, uint32_t speed) {
    if (speed == 0) {
        return L"0B/S 还需: ---";
    }
    std::wstring line = Size(speed) + L"/S  还需: ";
    if (total == 0) {
        return line + L"---";
    }
    const uint64_t rest = downloaded >= total ? 0 : total - downloaded;
    std::wstring time;
    duration_text(rest / speed, time);
    return line + time;
}

std::wstring BarCaption(uint64_t total, uint64_t downloaded) {
    return Size(downloaded) + L"/" + Size(total);
}

int BarPosition(int low, int high, uint64_t total, uint64_t downloaded) {
    if (high <= low) {
        return low;
    }
    const uint64_t range = static_cast<uint64_t>(static_cast<int64_t>(high) - low);
    return static_cast<int>(low + static_cast<int64_t>(Scaled(range, total, downloaded)));
}

int TaskbarValue(uint64_t total, uint64_t downloaded) {
    return static_cast<int>(Scaled(100, total, downloaded));
}

std::wstring TitleWithPercent(const std::wstring& title, uint64_t total, uint64_t downloaded) {
    int percent = 0;
    UpdatePercent(total, downloaded, percent);
    if (percent >= 100) {
        return title;
    }
    return title + L"-" + std::to_wstring(percent) + L"%";
}

int64_t SavedSeconds(uint64_t game_size, int offset, int fallback) {
    const int64_t value = static_cast<int64_t>(game_size / 400 / 1024) - offset;
    return value < 0 ? fallback : value;
}

int64_t SavedTime(uint64_t game_size) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const int offset = std::rand() % 121 - 60;
    const int64_t value = SavedSeconds(game_size, offset, -1);
    return value < 0 ? std::rand() % 60 : value;
}
