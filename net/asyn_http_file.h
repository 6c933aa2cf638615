#pragma once
// Downloads one URL into one local file without blocking. The body is
// streamed into "<path>.tmp" and replaces the target only once the whole
// response arrived; a copy already on disk is asked for with If-Modified-Since
// and serves as the fall-back when the network fails.

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/asyn_http.h"
#include "net/http_headers.h"

namespace qm::win32::net {

class asyn_http_file_event {
  public:
    // Results of on_download_complete.
    enum : int {
        downloaded = 0,    // the file was downloaded now
        not_modified = 1,  // the server answered 304: the local file is current
        local_copy = 2,    // the transfer failed, the existing local file stays
    };

    virtual ~asyn_http_file_event() = default;
    // The target file is usable. The downloader is idle again.
    virtual void on_download_complete(int request_id, const std::string& url,
                                      const std::wstring& path, int result) = 0;
    // No usable file: an HTTP status, a Win32 error of a file operation or a
    // code of the HTTP client. The downloader is idle again.
    virtual void on_download_failed(int request_id, const std::string& url, int error) = 0;
};

class asyn_http_file : public asyn_http_event {
  public:
    explicit asyn_http_file(asyn_http_file_event* sink);
    ~asyn_http_file() override;
    asyn_http_file(const asyn_http_file&) = delete;
    asyn_http_file& operator=(const asyn_http_file&) = delete;

    // False (and no callback) for an empty URL or path, while a download
    // runs, or when the request cannot be started.
    bool download(int request_id, const std::string& url, const http_headers& extra_headers,
                  const std::wstring& path);

    bool busy() const { return !path_.empty(); }
    // For the downloads that follow (see asyn_http::set_timeouts). A download
    // that times out ends as any failed transfer: the local copy if there is
    // one, else on_download_failed with WSAETIMEDOUT.
    void set_timeouts(const tcp_timeouts& timeouts) { client_.set_timeouts(timeouts); }

    // The If-Modified-Since value for a file last written at `time` (UTC).
    static std::string http_date(const SYSTEMTIME& time);

  private:
    void on_response(int request_id, http_response& response) override;
    void on_error(int request_id, int error) override;
    void on_data(int request_id, http_response& response, const char* data, std::size_t length,
                 std::uint64_t body_length, bool& keep) override;

    void succeed(int result);
    void fail(int error);
    void reset();
    bool local_file_exists() const;

    asyn_http_file_event* sink_;
    asyn_http client_;
    int request_id_ = 0;
    std::string url_;
    std::wstring path_;
    std::wstring temporary_path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t written_ = 0;
};

}  // namespace qm::win32::net
