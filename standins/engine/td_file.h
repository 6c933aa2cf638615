// The unfinished download, "<name>.td": the file's bytes at their final offsets,
// then a record of what is known about the remote file and which pieces are
// complete, then a footer that locates the record. Completing the download
// cuts the file back to its bytes and renames it.
//
//   [0, total)            file data; pieces not marked complete hold anything
//   [total, +256)         head: "TDENGTD1", head size, piece size, total,
//                         piece count, flags, validator (ETag or Last-Modified),
//                         FNV-1a checksum of the head's first 252 bytes
//   [.., +ceil(n / 8))    bitmap, piece i complete when bit (i % 8) of byte i / 8
//   last 16 bytes         total again (little-endian 64-bit), "TDENGEND"
//
// A piece is marked only after its bytes have been written, so a killed engine
// leaves a file whose marked pieces are all sound.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tdengine {

constexpr std::uint32_t td_head_size = 256;
constexpr std::uint32_t td_footer_size = 16;
constexpr std::size_t td_max_validator = 200;

struct td_layout {
    std::uint64_t total = 0;
    std::uint32_t piece_size = 0;
    std::uint32_t piece_count = 0;
    std::string validator;
    std::vector<std::uint8_t> done;  // one entry per piece, 1 when complete
};

std::uint32_t piece_count_for(std::uint64_t total, std::uint32_t piece_size);

class td_file {
  public:
    td_file() = default;
    td_file(const td_file&) = delete;
    td_file& operator=(const td_file&) = delete;
    ~td_file() { close(); }

    // Opens an existing file and reads its record; false (nothing open) when the
    // file is missing or is not a sound record of ours.
    bool open_existing(const std::wstring& path, td_layout& layout);
    // Creates or empties the file, sized for the data and the record; every
    // piece starts incomplete. Returns false with a Win32 code in error().
    bool create(const std::wstring& path, const td_layout& layout);
    // Plain data file without a record (size unknown, or no ranges): nothing
    // can be continued from it.
    bool create_plain(const std::wstring& path);

    bool write_at(std::uint64_t offset, const char* data, std::size_t length);
    // Marks piece `index` complete in `layout.done` and on disk.
    bool mark_done(td_layout& layout, std::uint32_t index);
    // Cuts the record off (at `data_size`), closes and renames to `final_path`,
    // replacing an older file of that name.
    bool finish(std::uint64_t data_size, const std::wstring& final_path);
    void close();
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD error() const { return error_; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
    std::uint64_t bitmap_offset_ = 0;
    DWORD error_ = 0;
};

}  // namespace tdengine
