#pragma once
// The fields the service reads from the engine's task information block.
// Portable: the block is plain little-endian bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::win32::net {

enum engine_task_state : int {
    engine_running = 2,
    engine_stopped = 10,
    engine_finished = 11,
    engine_failed = 12,
};

struct engine_task_report {
    int engine_state = 0;
    std::uint64_t total_size = 0;
    std::uint64_t received = 0;  // for speed and progress events
    std::uint64_t downloaded_size = 0;
    std::string file_name;  // ANSI code page
};

constexpr std::size_t task_block_size = 1096;
constexpr std::size_t task_block_name_offset = 60;
constexpr std::size_t task_block_name_room = task_block_size - task_block_name_offset;

// block holds task_block_size bytes. A name length beyond the block is cut
// to the room the block has.
engine_task_report read_task_block(const unsigned char* block);

}  // namespace qm::win32::net
