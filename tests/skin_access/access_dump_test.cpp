// A skinned window read and operated from another process, as a screen
// reader does: access-target.exe shows the sample tree, access-dump.exe reads
// it through AccessibleObjectFromWindow and AccessibleChildren.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const wchar_t kTitle[] = L"无障碍测试目标";

std::wstring Built(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* p = unix_path; *p; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return path;
}

std::wstring TempFile(const wchar_t* tag) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"tessaly-access-" + tag + L"-" +
           std::to_wstring(GetCurrentProcessId()) + L".txt";
}

std::wstring ReadUtf8(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    if (bytes.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(bytes.size());
    std::wstring text(static_cast<size_t>(size), L'\0');
    text.resize(
        static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, &text[0], size)));
    return text;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::wstringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Starts a program with its output going to a file; the process or null.
HANDLE Start(const std::wstring& command, const std::wstring& output) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process{};
    std::wstring line = command;
    const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(file);
    if (!started) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

struct Result {
    int code = -1;
    std::vector<std::wstring> lines;
};

// Runs access-dump.exe with the arguments; code -1 when it did not end in
// time (it is then ended).
Result Dump(const std::wstring& arguments) {
    const std::wstring output = TempFile(L"dump");
    Result result;
    HANDLE process = Start(L"\"" + Built(ACCESS_DUMP_EXE) + L"\" " + arguments, output);
    if (!process) {
        return result;
    }
    if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        result.code = static_cast<int>(code);
    } else {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    result.lines = Lines(ReadUtf8(output));
    DeleteFileW(output.c_str());
    return result;
}

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& wanted) {
    for (const std::wstring& line : lines) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

std::wstring Location(const POINT& origin, int left, int top, int width, int height) {
    return L" location=" + std::to_wstring(origin.x + left) + L"," +
           std::to_wstring(origin.y + top) + L"," + std::to_wstring(width) + L"," +
           std::to_wstring(height);
}

class AccessDumpTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        target_output_ = new std::wstring(TempFile(L"target"));
        target_ = Start(L"\"" + Built(ACCESS_TARGET_EXE) + L"\" " + kTitle, *target_output_);
        const DWORD start = GetTickCount();
        while (target_ && GetTickCount() - start < 30000 &&
               (!Contains(Lines(ReadUtf8(*target_output_)), L"ready") ||
                !FindWindowW(nullptr, kTitle))) {
            Sleep(50);
        }
    }

    static void TearDownTestSuite() {
        if (HWND window = FindWindowW(nullptr, kTitle)) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        if (target_) {
            if (WaitForSingleObject(target_, 15000) != WAIT_OBJECT_0) {
                TerminateProcess(target_, 1);
                WaitForSingleObject(target_, 5000);
            }
            CloseHandle(target_);
            target_ = nullptr;
        }
        DeleteFileW(target_output_->c_str());
        delete target_output_;
        target_output_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(nullptr, target_);
        window_ = FindWindowW(nullptr, kTitle);
        ASSERT_NE(nullptr, window_);
        origin_ = POINT{0, 0};
        ClientToScreen(window_, &origin_);
    }

    // Waits (bounded) for the target to print a line.
    static bool TargetSaid(const std::wstring& line) {
        const DWORD start = GetTickCount();
        do {
            if (Contains(Lines(ReadUtf8(*target_output_)), line)) {
                return true;
            }
            Sleep(50);
        } while (GetTickCount() - start < 5000);
        return false;
    }

    static HANDLE target_;
    static std::wstring* target_output_;
    HWND window_ = nullptr;
    POINT origin_{0, 0};
};

HANDLE AccessDumpTest::target_ = nullptr;
std::wstring* AccessDumpTest::target_output_ = nullptr;

TEST_F(AccessDumpTest, ReaderSeesEveryVisibleControl) {
    const Result dump = Dump(std::wstring(L"\"") + kTitle + L"\"");
    ASSERT_EQ(0, dump.code);
    ASSERT_EQ(8u, dump.lines.size());
    // The client's focus follows the desktop's; everything before it is fixed.
    const std::wstring client =
        std::wstring(L"0 client name=\"") + kTitle + L"\" value=\"\" help=\"UIRoot\" state=";
    EXPECT_EQ(client, dump.lines[0].substr(0, client.size()));
    EXPECT_NE(std::wstring::npos, dump.lines[0].find(Location(origin_, 0, 0, 320, 200)));
    const std::wstring expected[] = {
        L"1 grouping name=\"\" value=\"\" help=\"ButtonGroup\" state=normal" +
            Location(origin_, 10, 10, 200, 90),
        L"2 push button name=\"开始\" value=\"\" help=\"ActionButton\" state=focusable" +
            Location(origin_, 20, 20, 80, 30),
        L"2 check box name=\"自动\" value=\"\" help=\"AutoCheck\" state=focusable" +
            Location(origin_, 110, 20, 90, 30),
        L"1 progress bar name=\"进度\" value=\"30%\" help=\"Progress\" state=normal" +
            Location(origin_, 10, 110, 200, 20),
        L"1 static text name=\"标题\" value=\"\" help=\"Title\" state=normal" +
            Location(origin_, 10, 140, 200, 20),
        L"1 push button name=\"禁用\" value=\"\" help=\"OffButton\" state=unavailable" +
            Location(origin_, 220, 10, 80, 30),
        L"1 graphic name=\"\" value=\"\" help=\"ImageBkg\" state=normal" +
            Location(origin_, 0, 0, 320, 200),
    };
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(expected[i], dump.lines[i + 1]);
    }
}

TEST_F(AccessDumpTest, PressDoesWhatAClickDoesInTheOtherProcess) {
    // The button's click runs a modal loop for four seconds; the reader is
    // not held for it.
    const DWORD start = GetTickCount();
    Result press = Dump(std::wstring(L"\"") + kTitle + L"\" --press ActionButton");
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(0, press.code);
    EXPECT_TRUE(Contains(press.lines, L"pressed ActionButton"));
    EXPECT_TRUE(TargetSaid(L"click ActionButton"));

    press = Dump(std::wstring(L"\"") + kTitle + L"\" --press AutoCheck");
    EXPECT_EQ(0, press.code);
    EXPECT_TRUE(TargetSaid(L"click AutoCheck"));
    const Result dump = Dump(std::wstring(L"\"") + kTitle + L"\"");
    EXPECT_TRUE(Contains(dump.lines,
                         L"2 check box name=\"自动\" value=\"\" help=\"AutoCheck\" "
                         L"state=checked,focusable" +
                             Location(origin_, 110, 20, 90, 30)));
    // Press it back, so the other cases see the tree as it started.
    EXPECT_EQ(0, Dump(std::wstring(L"\"") + kTitle + L"\" --press AutoCheck").code);

    // A disabled button and a static text refuse, and their listeners hear
    // nothing; an unknown name is reported as such.
    press = Dump(std::wstring(L"\"") + kTitle + L"\" --press OffButton");
    EXPECT_EQ(5, press.code);
    EXPECT_TRUE(Contains(press.lines, L"press OffButton failed: 0x80004005"));
    press = Dump(std::wstring(L"\"") + kTitle + L"\" --press Title");
    EXPECT_EQ(5, press.code);
    press = Dump(std::wstring(L"\"") + kTitle + L"\" --press NoSuchControl");
    EXPECT_EQ(4, press.code);
    EXPECT_TRUE(Contains(press.lines, L"no element with help \"NoSuchControl\""));
    // Hidden controls cannot be found by a reader walking the tree.
    EXPECT_EQ(4, Dump(std::wstring(L"\"") + kTitle + L"\" --press HiddenLink").code);
    const std::vector<std::wstring> said = Lines(ReadUtf8(*target_output_));
    EXPECT_FALSE(Contains(said, L"click OffButton"));
    EXPECT_FALSE(Contains(said, L"click Title"));
}

TEST_F(AccessDumpTest, MissingWindowAndBadArguments) {
    const DWORD start = GetTickCount();
    const Result missing = Dump(L"\"没有这个窗口\" --wait 300");
    EXPECT_EQ(2, missing.code);
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_TRUE(Contains(missing.lines, L"no window titled \"没有这个窗口\""));
    EXPECT_EQ(1, Dump(L"").code);
    EXPECT_EQ(1, Dump(L"\"a\" \"b\"").code);
    EXPECT_EQ(1, Dump(L"--unknown").code);
}

}  // namespace
