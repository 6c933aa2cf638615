// The little protocol between asyn_download_interface.dll and tdengine.exe: one
// message-mode named pipe per engine, one request and one reply at a time per
// pipe instance. Every field has a fixed width so that a 32-bit library and a
// 64-bit engine (or the other way round) agree on the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tdengine {

constexpr std::uint32_t request_magic = 0x51474454;  // "TDGQ"
constexpr std::uint32_t reply_magic = 0x52474454;    // "TDGR"
constexpr std::size_t max_message = 8192;
constexpr std::size_t info_block_size = 1096;
constexpr std::size_t max_text = 2048;  // per text argument, in bytes

// Results of every entry that returns a code; 0 is success.
enum result : std::int32_t {
    result_ok = 0,
    result_bad_argument = 1,
    result_unknown_task = 2,
    result_engine_unavailable = 3,
    result_not_supported = 4,
    result_bad_state = 5,
};

enum op : std::uint32_t {
    op_hello = 1,  // reply values[0] = engine process id
    op_create_new,
    op_create_continued,
    op_create_predownload,
    op_start_predownload,
    op_start,
    op_stop,
    op_delete,
    op_query_info,  // reply data = the information block
    op_submit_count,
    op_query_count,  // reply values: status, count; data = resource entries
    op_add_resources,
    op_discard_resources,
    op_set_speed_limit_mode,
    op_set_speed_limit,
    op_cancel_speed_limit,
    op_set_task_type,
    op_set_file_name,
    op_set_beyond_limit,
    op_failure_detail,
    op_shutdown,  // the caller's tasks stop; reply values[0] = 1: the engine exits too,
                  // 0: it stays for the other libraries still connected
};

// Texts follow the head back to back: text_len[0] bytes, then text_len[1], ...
// They are the ANSI-code-page bytes the caller gave, not terminated.
struct request_head {
    std::uint32_t magic;
    std::uint32_t op;
    std::int32_t args[4];
    std::uint32_t text_len[4];
};

struct reply_head {
    std::uint32_t magic;
    std::int32_t result;
    std::int32_t values[4];
    std::uint32_t data_len;
};

// One entry of the resource-count answer.
struct resource_entry {
    std::uint32_t kind;         // 1: the origin HTTP server
    std::uint32_t connections;  // connections the task uses on it
};

// Engine states in the information block.
constexpr std::int32_t state_running = 2;
constexpr std::int32_t state_stopped = 10;
constexpr std::int32_t state_finished = 11;
constexpr std::int32_t state_failed = 12;

// Offsets of the information block.
constexpr std::size_t info_state = 0;
constexpr std::size_t info_error = 4;        // last error: Winsock, Win32 or HTTP status
constexpr std::size_t info_connections = 8;  // connections open now
constexpr std::size_t info_flags = 12;       // bit 0: ranges accepted, bit 1: continued
constexpr std::size_t info_total = 28;
constexpr std::size_t info_received = 36;
constexpr std::size_t info_downloaded = 44;
constexpr std::size_t info_name_length = 56;
constexpr std::size_t info_name = 60;
constexpr std::size_t info_name_max = info_block_size - info_name;

// Query status of the resource-count protocol.
constexpr std::int32_t count_pending = 1;
constexpr std::int32_t count_ready = 2;
constexpr std::int32_t count_failed = 3;

// The pipe of the engine whose executable is at `engine_path`: one engine per
// install folder, so two folders never share tasks.
inline std::wstring pipe_name_for(const std::wstring& engine_path) {
    std::uint64_t h = 1469598103934665603ull;
    for (wchar_t c : engine_path) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c == L'/') {
            c = L'\\';
        }
        h = (h ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    }
    wchar_t digits[17];
    for (int i = 15; i >= 0; --i) {
        digits[i] = L"0123456789abcdef"[h & 15];
        h >>= 4;
    }
    digits[16] = 0;
    return std::wstring(L"\\\\.\\pipe\\tdengine-") + digits;
}

}  // namespace tdengine
