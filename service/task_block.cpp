#include "service/task_block.h"

#include <cstring>

namespace qm::win32::net {

namespace {

std::uint32_t read32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t read64(const unsigned char* p) {
    return static_cast<std::uint64_t>(read32(p)) | static_cast<std::uint64_t>(read32(p + 4)) << 32;
}

}  // namespace

engine_task_report read_task_block(const unsigned char* block) {
    engine_task_report report;
    report.engine_state = static_cast<int>(read32(block));
    report.total_size = read64(block + 28);
    report.received = read64(block + 36);
    report.downloaded_size = read64(block + 44);
    std::size_t length = read32(block + 56);
    if (length > task_block_name_room) {
        length = task_block_name_room;
    }
    const char* name = reinterpret_cast<const char*>(block + task_block_name_offset);
    // A terminator inside the given length ends the name there, as the
    // system's own string functions would read it.
    const void* nul = std::memchr(name, 0, length);
    if (nul) {
        length = static_cast<std::size_t>(static_cast<const char*>(nul) - name);
    }
    report.file_name.assign(name, length);
    return report;
}

}  // namespace qm::win32::net
