// Torvane.exe: stands in for the host downloader. It answers the command
// lines the client gives it and writes down every one of them, so that tests
// can see what it was asked:
//   -NetGameCmd:"F" -SelMyDownload:yes|no   finish the downloads listed in F
//   -buildaddins                             list the add-in folders and exit
//   -window:bringtotop                       raise the running instance
//   anything else                            run with a window until closed
#include "standins/host/torvane.h"

#include <shellapi.h>

#include <vector>

namespace torvane {

namespace {

const wchar_t kWindowClass[] = L"TorvaneStandInMainWindow";
const wchar_t kRegistryKey[] = L"SOFTWARE\\Torvane Network\\TorvaneOem\\torvane_backwnd";

// The arguments as given, without the program name (quoted or not).
std::wstring raw_arguments() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') {
            ++p;
        }
        if (*p == L'"') {
            ++p;
        }
    } else {
        while (*p && *p != L' ' && *p != L'\t') {
            ++p;
        }
    }
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    return p;
}

// Text after "-Name:" up to the next blank, or the quoted text when it starts
// with a quotation mark. Empty and false when the switch is absent.
bool switch_value(const std::wstring& args, const std::wstring& name, std::wstring& value) {
    const std::wstring key = L"-" + name + L":";
    const size_t at = args.find(key);
    if (at == std::wstring::npos) {
        return false;
    }
    size_t begin = at + key.size();
    size_t end = 0;
    if (begin < args.size() && args[begin] == L'"') {
        ++begin;
        end = args.find(L'"', begin);
    } else {
        end = args.find_first_of(L" \t", begin);
    }
    if (end == std::wstring::npos) {
        end = args.size();
    }
    value = args.substr(begin, end - begin);
    return true;
}

bool has_word(const std::wstring& args, const std::wstring& word) {
    size_t at = 0;
    while ((at = args.find(word, at)) != std::wstring::npos) {
        const size_t end = at + word.size();
        const bool starts = at == 0 || args[at - 1] == L' ' || args[at - 1] == L'\t';
        const bool ends = end == args.size() || args[end] == L' ' || args[end] == L'\t';
        if (starts && ends) {
            return true;
        }
        at = end;
    }
    return false;
}

std::wstring registry_string(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::wstring();
    }
    return value;
}

std::string xml_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Value of attr="..." where attr stands as a whole word (so that "name" is
// not found inside "show_name").
std::string attribute(const std::string& text, const std::string& attr) {
    const std::string key = attr + "=\"";
    size_t at = 0;
    while ((at = text.find(key, at)) != std::string::npos) {
        const bool whole =
            at == 0 || !(isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_');
        if (whole) {
            const size_t begin = at + key.size();
            const size_t end = text.find('"', begin);
            if (end != std::string::npos) {
                return text.substr(begin, end - begin);
            }
            return std::string();
        }
        at += key.size();
    }
    return std::string();
}

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        content.append(buffer, got);
        if (content.size() > (1u << 20)) {
            break;
        }
    }
    CloseHandle(file);
    return content;
}

// -buildaddins: writes the add-ins folder's "addins_cache.xml", one entry per
// sub-folder, with the name, show_name and torvane attributes of its
// "addin.cfg" when it has one.
int build_addins() {
    std::wstring folder = registry_string(L"addinsdir");
    if (folder.empty()) {
        // Not registered: the add-ins folder beside "Program\".
        std::wstring parent = own_folder().substr(0, own_folder().size() - 1);
        parent = parent.substr(0, parent.find_last_of(L'\\') + 1);
        folder = parent + L"Addins";
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<addins>\r\n";
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." ||
                name == L"..") {
                continue;
            }
            const std::string cfg = read_file(folder + name + L"\\addin.cfg");
            xml += "  <addin folder=\"" + xml_escape(to_utf8(name)) + "\"";
            if (!cfg.empty()) {
                xml += " name=\"" + xml_escape(attribute(cfg, "name")) + "\"";
                xml += " show_name=\"" + xml_escape(attribute(cfg, "show_name")) + "\"";
                xml += " torvane=\"" + xml_escape(attribute(cfg, "torvane")) + "\"";
            }
            xml += "/>\r\n";
            ++count;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    xml += "</addins>\r\n";
    const std::wstring cache = folder + L"addins_cache.xml";
    HANDLE file = CreateFileW(cache.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log_event(L"buildaddins", L"failed\t" + cache);
        return 1;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
    CloseHandle(file);
    log_event(L"buildaddins", std::to_wstring(count) + L"\t" + cache);
    return ok && written == xml.size() ? 0 : 1;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// Plain start: a window of its own until it is closed or the process ended.
int run_window() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, kWindowClass, L"Torvane", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 480, 320, nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        log_event(L"window", L"failed");
        return 1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    log_event(L"window", L"open");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    log_event(L"window", L"closed");
    return 0;
}

}  // namespace

const std::wstring& own_folder() {
    static const std::wstring folder = [] {
        std::vector<wchar_t> path(32768);
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        std::wstring full(path.data(), n);
        return full.substr(0, full.find_last_of(L'\\') + 1);
    }();
    return folder;
}

void log_event(const std::wstring& event, const std::wstring& detail) {
    const std::string line = std::to_string(GetCurrentProcessId()) + "\t" + to_utf8(event) + "\t" +
                             to_utf8(detail) + "\r\n";
    const std::wstring path = own_folder() + L"Torvane.log";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring from_utf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string to_ansi(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring from_ansi(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

bool file_exists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace torvane

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace torvane;
    const std::wstring args = raw_arguments();
    log_event(L"args", args);

    std::wstring task_file;
    if (switch_value(args, L"NetGameCmd", task_file)) {
        std::wstring select;
        switch_value(args, L"SelMyDownload", select);
        const int code = run_net_game(task_file, select);
        log_event(L"exit", std::to_wstring(code));
        return code;
    }
    if (has_word(args, L"-buildaddins")) {
        const int code = build_addins();
        log_event(L"exit", std::to_wstring(code));
        return code;
    }
    if (has_word(args, L"-window:bringtotop")) {
        HWND running = FindWindowW(kWindowClass, nullptr);
        if (running != nullptr) {
            ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
            BringWindowToTop(running);
            log_event(L"bringtotop", L"raised");
            log_event(L"exit", L"0");
            return 0;
        }
        log_event(L"bringtotop", L"none running");
    }
    const int code = run_window();
    log_event(L"exit", std::to_wstring(code));
    return code;
}
