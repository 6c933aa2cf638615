// The engine's information block, read field by field.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "service/task_block.h"

using namespace qm::win32::net;

namespace {

std::vector<unsigned char> block_with(int state, std::uint64_t total, std::uint64_t received,
                                      std::uint64_t downloaded, std::uint32_t name_length,
                                      const std::string& name) {
    std::vector<unsigned char> block(task_block_size, 0);
    auto put = [&block](std::size_t at, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            block[at + i] = static_cast<unsigned char>(value >> (8 * i));
        }
    };
    put(0, static_cast<std::uint32_t>(state), 4);
    put(28, total, 8);
    put(36, received, 8);
    put(44, downloaded, 8);
    put(56, name_length, 4);
    std::memcpy(block.data() + 60, name.data(), std::min(name.size(), task_block_name_room));
    return block;
}

}  // namespace

TEST(task_block_test, fields_at_their_offsets) {
    const auto block = block_with(11, 0x123456789ull, 77, 0xFFFFFFFFFFull, 8, "game.exeXXXX");
    const engine_task_report report = read_task_block(block.data());
    EXPECT_EQ(report.engine_state, 11);
    EXPECT_EQ(report.total_size, 0x123456789ull);
    EXPECT_EQ(report.received, 77u);
    EXPECT_EQ(report.downloaded_size, 0xFFFFFFFFFFull);
    EXPECT_EQ(report.file_name, "game.exe");  // cut at the given length
}

TEST(task_block_test, name_lengths_beyond_the_block_or_past_a_terminator) {
    const std::string full(task_block_name_room, 'n');
    auto block = block_with(2, 0, 0, 0, 0xFFFFFFFFu, full);
    EXPECT_EQ(read_task_block(block.data()).file_name.size(), task_block_name_room);
    block = block_with(2, 0, 0, 0, 40, "abc");
    EXPECT_EQ(read_task_block(block.data()).file_name, "abc");
    block = block_with(2, 0, 0, 0, 0, "abc");
    EXPECT_EQ(read_task_block(block.data()).file_name, "");
}
