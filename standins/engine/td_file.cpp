#include "standins/engine/td_file.h"

#include <cstring>

namespace tdengine {
namespace {

constexpr char head_magic[8] = {'T', 'D', 'E', 'N', 'G', 'T', 'D', '1'};
constexpr char footer_magic[8] = {'T', 'D', 'E', 'N', 'G', 'E', 'N', 'D'};

std::uint32_t fnv32(const unsigned char* data, std::size_t length) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < length; ++i) {
        h = (h ^ data[i]) * 16777619u;
    }
    return h;
}

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
void put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
std::uint32_t get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}
std::uint64_t get64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

bool read_at(HANDLE h, std::uint64_t offset, void* data, DWORD length) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(h, data, length, &got, &ov) && got == length;
}

std::size_t bitmap_bytes(std::uint32_t pieces) {
    return (static_cast<std::size_t>(pieces) + 7) / 8;
}

}  // namespace

std::uint32_t piece_count_for(std::uint64_t total, std::uint32_t piece_size) {
    return static_cast<std::uint32_t>((total + piece_size - 1) / piece_size);
}

bool td_file::open_existing(const std::wstring& path, td_layout& layout) {
    close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    unsigned char footer[td_footer_size];
    unsigned char head[td_head_size];
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart >= td_head_size + td_footer_size &&
              read_at(h, static_cast<std::uint64_t>(size.QuadPart) - td_footer_size, footer,
                      td_footer_size) &&
              std::memcmp(footer + 8, footer_magic, 8) == 0;
    td_layout read;
    if (ok) {
        read.total = get64(footer);
        ok = read.total <= static_cast<std::uint64_t>(size.QuadPart) &&
             read_at(h, read.total, head, td_head_size) && std::memcmp(head, head_magic, 8) == 0 &&
             get32(head + 8) == td_head_size && get32(head + 252) == fnv32(head, 252) &&
             get64(head + 16) == read.total;
    }
    if (ok) {
        read.piece_size = get32(head + 12);
        read.piece_count = get32(head + 24);
        std::uint32_t validator_len = get32(head + 32);
        ok = read.piece_size != 0 && read.total != 0 &&
             read.piece_count == piece_count_for(read.total, read.piece_size) &&
             validator_len <= td_max_validator &&
             static_cast<std::uint64_t>(size.QuadPart) ==
                 read.total + td_head_size + bitmap_bytes(read.piece_count) + td_footer_size;
        if (ok) {
            read.validator.assign(reinterpret_cast<const char*>(head + 36), validator_len);
        }
    }
    if (ok) {
        std::vector<unsigned char> bits(bitmap_bytes(read.piece_count));
        ok = read_at(h, read.total + td_head_size, bits.data(), static_cast<DWORD>(bits.size()));
        read.done.assign(read.piece_count, 0);
        for (std::uint32_t i = 0; ok && i < read.piece_count; ++i) {
            read.done[i] = (bits[i / 8] >> (i % 8)) & 1;
        }
    }
    if (!ok) {
        CloseHandle(h);
        error_ = ERROR_INVALID_DATA;
        return false;
    }
    handle_ = h;
    path_ = path;
    bitmap_offset_ = read.total + td_head_size;
    layout = std::move(read);
    return true;
}

bool td_file::create_plain(const std::wstring& path) {
    close();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return false;
    }
    handle_ = h;
    path_ = path;
    bitmap_offset_ = 0;
    return true;
}

bool td_file::create(const std::wstring& path, const td_layout& layout) {
    if (!create_plain(path)) {
        return false;
    }
    bitmap_offset_ = layout.total + td_head_size;
    std::size_t bits = bitmap_bytes(layout.piece_count);
    std::vector<unsigned char> tail(td_head_size + bits + td_footer_size, 0);
    unsigned char* head = tail.data();
    std::memcpy(head, head_magic, 8);
    put32(head + 8, td_head_size);
    put32(head + 12, layout.piece_size);
    put64(head + 16, layout.total);
    put32(head + 24, layout.piece_count);
    put32(head + 28, 0);
    std::size_t vlen =
        layout.validator.size() < td_max_validator ? layout.validator.size() : td_max_validator;
    put32(head + 32, static_cast<std::uint32_t>(vlen));
    std::memcpy(head + 36, layout.validator.data(), vlen);
    put32(head + 252, fnv32(head, 252));
    unsigned char* footer = tail.data() + td_head_size + bits;
    put64(footer, layout.total);
    std::memcpy(footer + 8, footer_magic, 8);
    if (!write_at(layout.total, reinterpret_cast<const char*>(tail.data()), tail.size())) {
        close();
        DeleteFileW(path.c_str());
        return false;
    }
    return true;
}

bool td_file::write_at(std::uint64_t offset, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD put = 0;
        if (!WriteFile(handle_, data, chunk, &put, &ov) || put != chunk) {
            error_ = GetLastError();
            if (error_ == 0) {
                error_ = ERROR_WRITE_FAULT;
            }
            return false;
        }
        data += chunk;
        offset += chunk;
        length -= chunk;
    }
    return true;
}

bool td_file::mark_done(td_layout& layout, std::uint32_t index) {
    layout.done[index] = 1;
    std::uint32_t first = index / 8 * 8;
    unsigned char byte = 0;
    for (std::uint32_t i = first; i < first + 8 && i < layout.piece_count; ++i) {
        if (layout.done[i]) {
            byte = static_cast<unsigned char>(byte | (1u << (i - first)));
        }
    }
    return write_at(bitmap_offset_ + index / 8, reinterpret_cast<const char*>(&byte), 1);
}

bool td_file::finish(std::uint64_t data_size, const std::wstring& final_path) {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(data_size);
    if (!SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
        error_ = GetLastError();
        return false;
    }
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(path_.c_str(), final_path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

void td_file::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

}  // namespace tdengine
