#include "net/asyn_http_file.h"

#include <cstdio>

#include "net/http_constants.h"

namespace qm::win32::net {

namespace {

// Win32 codes for failures that leave no error of their own.
int last_error_or(DWORD fallback) {
    const DWORD error = GetLastError();
    return static_cast<int>(error != 0 ? error : fallback);
}

}  // namespace

asyn_http_file::asyn_http_file(asyn_http_file_event* sink) : sink_(sink), client_(this) {}

asyn_http_file::~asyn_http_file() {
    // A download cut short leaves no partial temporary file behind.
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        DeleteFileW(temporary_path_.c_str());
    }
}

std::string asyn_http_file::http_date(const SYSTEMTIME& time) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (time.wDayOfWeek > 6 || time.wMonth < 1 || time.wMonth > 12) {
        return std::string();
    }
    char text[32];
    std::snprintf(
        text, sizeof(text), "%s, %02u %s %04u %02u:%02u:%02u GMT", kDays[time.wDayOfWeek],
        static_cast<unsigned>(time.wDay % 100), kMonths[time.wMonth - 1],
        static_cast<unsigned>(time.wYear % 10000), static_cast<unsigned>(time.wHour % 100),
        static_cast<unsigned>(time.wMinute % 100), static_cast<unsigned>(time.wSecond % 100));
    return text;
}

bool asyn_http_file::download(int request_id, const std::string& url,
                              const http_headers& extra_headers, const std::wstring& path) {
    if (path.empty() || url.empty() || busy()) {
        return false;
    }
    http_headers headers = extra_headers;
    HANDLE local = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (local != INVALID_HANDLE_VALUE) {
        FILETIME written;
        SYSTEMTIME utc;
        if (GetFileTime(local, nullptr, nullptr, &written) &&
            FileTimeToSystemTime(&written, &utc)) {
            const std::string date = http_date(utc);
            if (!date.empty()) {
                headers.set(http_field::if_modified_since, date);
            }
        }
        CloseHandle(local);
    }
    if (!client_.get(request_id, url, headers)) {
        return false;
    }
    request_id_ = request_id;
    url_ = url;
    path_ = path;
    temporary_path_ = path + L".tmp";
    file_ = INVALID_HANDLE_VALUE;
    written_ = 0;
    return true;
}

void asyn_http_file::on_data(int, http_response& response, const char* data, std::size_t length,
                             std::uint64_t, bool& keep) {
    if (response.status != 200 || length == 0 || !busy()) {
        return;
    }
    keep = false;
    written_ += length;
    if (file_ == INVALID_HANDLE_VALUE) {
        file_ = CreateFileW(temporary_path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) {
            fail(last_error_or(ERROR_CANNOT_MAKE));
            return;
        }
    }
    DWORD done = 0;
    SetLastError(0);
    if (!WriteFile(file_, data, static_cast<DWORD>(length), &done, nullptr) || done != length) {
        fail(last_error_or(ERROR_DISK_FULL));
    }
}

void asyn_http_file::on_response(int, http_response& response) {
    if (response.status == 200 && written_ > 0) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        // One step replaces the old copy, so a failed move keeps it intact;
        // the complete temporary file stays for a later look.
        if (!MoveFileExW(temporary_path_.c_str(), path_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
            fail(last_error_or(ERROR_WRITE_FAULT));
            return;
        }
        succeed(asyn_http_file_event::downloaded);
        return;
    }
    if (response.status == 200) {
        HANDLE empty = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (empty == INVALID_HANDLE_VALUE) {
            fail(last_error_or(ERROR_CANNOT_MAKE));
            return;
        }
        CloseHandle(empty);
        succeed(asyn_http_file_event::downloaded);
        return;
    }
    if (response.status == 304 && local_file_exists()) {
        succeed(asyn_http_file_event::not_modified);
        return;
    }
    fail(response.status);
}

void asyn_http_file::on_error(int, int error) {
    if (local_file_exists()) {
        succeed(asyn_http_file_event::local_copy);
    } else {
        fail(error);
    }
}

bool asyn_http_file::local_file_exists() const {
    const DWORD attributes = GetFileAttributesW(path_.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void asyn_http_file::succeed(int result) {
    const int request_id = request_id_;
    const std::string url = url_;
    const std::wstring path = path_;
    reset();
    sink_->on_download_complete(request_id, url, path, result);
}

void asyn_http_file::fail(int error) {
    const int request_id = request_id_;
    const std::string url = url_;
    reset();
    sink_->on_download_failed(request_id, url, error);
}

void asyn_http_file::reset() {
    client_.reset();
    request_id_ = 0;
    url_.clear();
    written_ = 0;
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        DeleteFileW(temporary_path_.c_str());
    }
    path_.clear();
    temporary_path_.clear();
}

}  // namespace qm::win32::net
