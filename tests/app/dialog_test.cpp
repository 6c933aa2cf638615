// The skinned message box and exit-choice dialog as the controller shows
// them: each button count with its captions and places, results, the owner
// disabled while they run and active again after, the keyboard (Esc, Enter,
// Tab), message 1139 sent from another thread, and both dialogs read and
// pressed from another process through Active Accessibility.
#include "app/message_dialogs.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control.h"
#include "skin/host_window.h"
#include "skin/image_control.h"
#include "skin/skin_startup.h"
#include "skin/text_control.h"
#include "tests/support/gui_support.h"

using namespace qm::skin;

namespace {

const bool g_unmanaged = qm::test::LeaveWindowsUnmanaged();

class SkinEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InitializeSkin();
    }
    void TearDown() override {
        ShutdownSkin();
        CoUninitialize();
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new SkinEnvironment());

// Steps run one per timer tick inside the dialog's modal loop; a step that
// returns false runs again on the next tick.
std::deque<std::function<bool()>> g_steps;
int g_ticks = 0;

void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD) {
    ++g_ticks;
    if (g_steps.empty()) {
        return;
    }
    auto step = g_steps.front();
    if (step()) {
        g_steps.pop_front();
    }
}

HWND DialogWindow() {
    return FindWindowW(L"#32770", L"提示");
}

// A control of the running dialog by name, or null.
Control* Find(const char* name) {
    HostBase* host = LookupHostByWindow(DialogWindow());
    return host ? host->GetUiHost().FindByName(name) : nullptr;
}

std::wstring Caption(const char* name) {
    auto* button = static_cast<ButtonControl*>(Find(name));
    return button ? button->GetAccessName() : L"<missing>";
}

RECT Bounds(const char* name) {
    Control* c = Find(name);
    RECT none = {-1, -1, -1, -1};
    return c ? c->GetBounds() : none;
}

void Press(const char* name) {
    g_steps.push_back([name] {
        Control* c = Find(name);
        if (!c) {
            return false;
        }
        c->DoDefaultAction();
        return true;
    });
}

void Key(WPARAM key) {
    g_steps.push_back([key] {
        HWND dialog = DialogWindow();
        if (!dialog) {
            return false;
        }
        PostMessageW(dialog, WM_KEYDOWN, key, 1);
        return true;
    });
}

// Holds the dialog on the screen for a while when TESSALY_DIALOG_HOLD_MS is
// set, so that someone can look at it (screenshots).
void Hold() {
    const char* hold = std::getenv("TESSALY_DIALOG_HOLD_MS");
    if (!hold) {
        return;
    }
    const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(hold));
    g_steps.push_back([until] { return static_cast<LONG>(GetTickCount() - until) >= 0; });
}

std::wstring Built(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* p = unix_path; *p; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return path;
}

std::wstring ReadUtf8(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
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
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(),
                                                        static_cast<int>(bytes.size()), &text[0],
                                                        static_cast<int>(text.size()))));
    return text;
}

// access-dump.exe run from a step while the dialog's loop keeps going: the
// step repeats until the program has ended (at most 30 s).
struct Dump {
    HANDLE process = nullptr;
    std::wstring output;
    int code = -1;
    DWORD started = 0;
    std::wstring text;
};

void RunDump(Dump* dump, const std::wstring& arguments) {
    g_steps.push_back([dump, arguments] {
        if (!DialogWindow()) {
            return false;
        }
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        static int serial = 0;
        dump->output = std::wstring(folder) + L"tessaly-dialog-dump-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) +
                       L".txt";
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE file =
            CreateFileW(dump->output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file;
        startup.hStdError = file;
        PROCESS_INFORMATION process{};
        std::wstring line = L"\"" + Built(ACCESS_DUMP_EXE) + L"\" 提示 " + arguments;
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            dump->process = process.hProcess;
        }
        CloseHandle(file);
        dump->started = GetTickCount();
        return true;
    });
    g_steps.push_back([dump] {
        return !dump->process || WaitForSingleObject(dump->process, 0) == WAIT_OBJECT_0 ||
               GetTickCount() - dump->started >= 30000;
    });
}

// The end of a dump: a press ends the dialog and with it the steps, so the
// result is collected after the dialog (waiting at most 30 s in all).
void Collect(Dump* dump) {
    if (!dump->process) {
        return;
    }
    // Messages keep flowing meanwhile: the reader's calls into this
    // process's windows are answered by this thread.
    const DWORD spent = GetTickCount() - dump->started;
    qm::test::PumpUntilSignalled(dump->process, spent < 30000 ? 30000 - spent : 0);
    if (WaitForSingleObject(dump->process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(dump->process, 99);
        WaitForSingleObject(dump->process, 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(dump->process, &code);
    dump->code = static_cast<int>(code);
    CloseHandle(dump->process);
    dump->process = nullptr;
    dump->text = ReadUtf8(dump->output);
    DeleteFileW(dump->output.c_str());
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_steps.clear();
        const RECT r = {200, 150, 669, 524};
        owner_hwnd = owner.Create(nullptr, r, L"对话框测试主窗口");
        ASSERT_TRUE(owner_hwnd);
        ShowWindow(owner_hwnd, SW_SHOW);
        UpdateWindow(owner_hwnd);
        SetActiveWindow(owner_hwnd);
        timer = SetTimer(nullptr, 0, 30, &RunStep);
    }
    void TearDown() override {
        KillTimer(nullptr, timer);
        g_steps.clear();
    }
    // A step that looks at the running dialog, then the given ending.
    void Look(std::function<void()> look) {
        g_steps.push_back([look] {
            if (!DialogWindow()) {
                return false;
            }
            look();
            return true;
        });
    }

    HostWindow owner;
    HWND owner_hwnd = nullptr;
    UINT_PTR timer = 0;
};

struct ButtonCase {
    int count;
    std::vector<const char*> names;
    std::vector<std::wstring> captions;
    std::vector<RECT> rects;  // in the 350 x 180 client area
};

TEST_F(DialogTest, EachButtonCountHasItsCaptionsPlacesAndResults) {
    const std::vector<ButtonCase> cases = {
        {1, {"button1"}, {L"确定"}, {{130, 125, 220, 160}}},
        {2,
         {"button1", "button2"},
         {L"确定", L"取消"},
         {{77, 125, 167, 160}, {183, 125, 273, 160}}},
        {3,
         {"button1", "button2", "button3"},
         {L"重试", L"强制关闭", L"取消安装"},
         {{23, 125, 113, 160}, {136, 125, 226, 160}, {249, 125, 339, 160}}},
    };
    for (const ButtonCase& c : cases) {
        for (size_t pressed = 0; pressed < c.names.size(); ++pressed) {
            SCOPED_TRACE("buttons " + std::to_string(c.count) + ", pressing " + c.names[pressed]);
            MessageBoxDialog box;
            box.SetMessage(L"磁盘空间不足，请删除部分文件或更改保存路径。");
            BOOL owner_enabled = TRUE;
            HWND dialog_owner = nullptr;
            RECT client = {};
            std::vector<std::wstring> captions;
            std::vector<RECT> rects;
            bool extra_button = true;
            std::wstring content;
            RECT content_rect = {};
            Look([&] {
                owner_enabled = IsWindowEnabled(owner_hwnd);
                dialog_owner = GetWindow(DialogWindow(), GW_OWNER);
                GetClientRect(DialogWindow(), &client);
                for (const char* name : c.names) {
                    captions.push_back(Caption(name));
                    rects.push_back(Bounds(name));
                }
                extra_button = Find(c.count == 3   ? "button4"
                                    : c.count == 2 ? "button3"
                                                   : "button2");
                auto* text = static_cast<TextControl*>(Find("TextContent"));
                content = text ? text->GetText() : L"";
                content_rect = Bounds("TextContent");
            });
            if (pressed == 0) {
                Hold();
            }
            Press(c.names[pressed]);
            EXPECT_EQ(static_cast<int>(pressed) + 1, box.Show(owner_hwnd, c.count));
            EXPECT_EQ(static_cast<int>(pressed) + 1, box.Result());
            EXPECT_FALSE(owner_enabled);
            EXPECT_EQ(owner_hwnd, dialog_owner);
            EXPECT_EQ(350, client.right);
            EXPECT_EQ(180, client.bottom);
            ASSERT_EQ(c.captions.size(), captions.size());
            for (size_t i = 0; i < captions.size(); ++i) {
                EXPECT_EQ(c.captions[i], captions[i]);
                EXPECT_EQ(c.rects[i].left, rects[i].left) << i;
                EXPECT_EQ(c.rects[i].top, rects[i].top) << i;
                EXPECT_EQ(c.rects[i].right, rects[i].right) << i;
                EXPECT_EQ(c.rects[i].bottom, rects[i].bottom) << i;
            }
            EXPECT_FALSE(extra_button);
            EXPECT_EQ(L"磁盘空间不足，请删除部分文件或更改保存路径。", content);
            EXPECT_EQ(85, content_rect.left);
            EXPECT_EQ(330, content_rect.right);
            // Afterwards the owner works again and is the active window.
            EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
            EXPECT_EQ(owner_hwnd, GetActiveWindow());
            EXPECT_FALSE(DialogWindow());
        }
    }
}

TEST_F(DialogTest, CloseButtonAndEscGiveZeroEvenWithThreeButtons) {
    for (int count = 1; count <= 3; ++count) {
        MessageBoxDialog box;
        box.SetMessage(L"初始化下载组件需要退出Torvane，是否强制退出Torvane程序?");
        box.SetIcon(1);
        Press("closebtn");
        EXPECT_EQ(0, box.Show(owner_hwnd, count)) << count;
        Key(VK_ESCAPE);
        EXPECT_EQ(0, box.Show(owner_hwnd, count)) << count;
        EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
    }
}

TEST_F(DialogTest, EnterTakesTheFirstButtonAndTabMovesOn) {
    MessageBoxDialog box;
    box.SetMessage(L"键盘");
    Key(VK_RETURN);
    EXPECT_EQ(1, box.Show(owner_hwnd, 2));
    Key(VK_TAB);  // the close button first, in tree order
    Key(VK_TAB);  // then "确定"
    Key(VK_TAB);  // then "取消"
    Key(VK_RETURN);
    EXPECT_EQ(2, box.Show(owner_hwnd, 2));
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_SPACE);
    EXPECT_EQ(3, box.Show(owner_hwnd, 3));
}

TEST_F(DialogTest, ABadButtonCountShowsNothingAndGivesZero) {
    const int ticks = g_ticks;
    for (int count : {0, 4, -1, 65537}) {
        MessageBoxDialog box;
        box.SetMessage(L"不应出现");
        EXPECT_EQ(0, box.Show(owner_hwnd, count)) << count;
        EXPECT_EQ(0, box.Result());
    }
    // Nothing ran a message loop: no dialog came and went.
    EXPECT_EQ(ticks, g_ticks);
    EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
    EXPECT_EQ(0, ShowMessageBoxRequest(owner_hwnd, reinterpret_cast<WPARAM>(L"x"),
                                       MessageBoxParam(1, 4)));
}

TEST_F(DialogTest, ADialogEndedWithoutAButtonAnswersNothing) {
    // Ended by its loop, not by a button: neither "yes" nor a choice.
    auto end_from_outside = [] {
        g_steps.push_back([] {
            HostBase* host = LookupHostByWindow(DialogWindow());
            if (!host) {
                return false;
            }
            static_cast<HostDialog*>(host)->End(1);
            return true;
        });
    };
    MessageBoxDialog box;
    box.SetMessage(L"无人回答");
    end_from_outside();
    EXPECT_EQ(0, box.Show(owner_hwnd, 2));
    ExitChoiceDialog exit_choice;
    end_from_outside();
    EXPECT_EQ(0, exit_choice.Show(owner_hwnd));
    EXPECT_TRUE(IsWindowEnabled(owner_hwnd));

    // A quit message ends the modal loop too (the main window going away).
    MessageBoxDialog quitting;
    quitting.SetMessage(L"程序退出");
    g_steps.push_back([] {
        if (!DialogWindow()) {
            return false;
        }
        PostQuitMessage(0);
        return true;
    });
    EXPECT_EQ(0, quitting.Show(owner_hwnd, 1));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
}

TEST_F(DialogTest, TheIconValueChoosesTheStripFrame) {
    for (int icon : {0, 1, 2}) {
        MessageBoxDialog box;
        box.SetMessage(L"图标");
        box.SetIcon(icon);
        RECT tip = {};
        bool has_image = false;
        Look([&] {
            tip = Bounds("ImageTip");
            has_image = Find("ImageTip") != nullptr;
        });
        if (icon == 1) {
            Hold();
        }
        Press("button1");
        EXPECT_EQ(1, box.Show(owner_hwnd, 1));
        EXPECT_TRUE(has_image);
        EXPECT_EQ(20, tip.left);
        EXPECT_EQ(50, tip.top);
        EXPECT_EQ(72, tip.right);
        EXPECT_EQ(104, tip.bottom);
    }
}

TEST_F(DialogTest, WithoutAnOwnerTheActiveWindowIsDisabledMeanwhile) {
    MessageBoxDialog box;
    box.SetMessage(L"没有主窗口");
    BOOL enabled = TRUE;
    Look([&] { enabled = IsWindowEnabled(owner_hwnd); });
    Press("button1");
    EXPECT_EQ(1, box.Show(nullptr, 1));
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
}

TEST_F(DialogTest, ExitChoiceResultsAndChoices) {
    struct Case {
        std::vector<const char*> clicks;
        const char* end;
        int result;
        int choice;
    };
    const std::vector<Case> cases = {
        {{}, "okbtn", 1, ExitChoiceDialog::kBackground},
        {{"torvane7Radio"}, "okbtn", 1, ExitChoiceDialog::kMoveToHost},
        {{"exitRadio"}, "okbtn", 1, ExitChoiceDialog::kExit},
        {{"exitRadio", "exitRadio"}, "okbtn", 1, ExitChoiceDialog::kExit},
        {{"torvane7Radio", "backgroundRadio"}, "okbtn", 1, ExitChoiceDialog::kBackground},
        {{"exitRadio"}, "cancelbtn", 2, ExitChoiceDialog::kExit},
        {{}, "closebtn", 2, ExitChoiceDialog::kBackground},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("ending with ") + c.end);
        ExitChoiceDialog dialog;
        int checked[3] = {-1, -1, -1};
        std::wstring captions[3];
        for (const char* click : c.clicks) {
            Press(click);
        }
        Look([&] {
            const char* names[3] = {"backgroundRadio", "torvane7Radio", "exitRadio"};
            for (int i = 0; i < 3; ++i) {
                auto* radio = static_cast<RadioControl*>(Find(names[i]));
                checked[i] = radio ? radio->IsChecked() : -1;
                captions[i] = radio ? radio->GetText() : L"";
            }
        });
        if (c.clicks.size() == 1 && std::string(c.clicks[0]) == "torvane7Radio") {
            Hold();
        }
        Press(c.end);
        EXPECT_EQ(c.result, dialog.Show(owner_hwnd));
        EXPECT_EQ(c.result, dialog.Result());
        EXPECT_EQ(c.choice, dialog.Choice());
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(i == c.choice ? 1 : 0, checked[i]) << i;
        }
        EXPECT_EQ(L"后台低速下载", captions[0]);
        EXPECT_EQ(L"将任务移至Torvane7", captions[1]);
        EXPECT_EQ(L"退出下载器", captions[2]);
        EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
        EXPECT_EQ(owner_hwnd, GetActiveWindow());
    }
    ExitChoiceDialog escaped;
    Key(VK_ESCAPE);
    EXPECT_EQ(2, escaped.Show(owner_hwnd));
}

// The main window's message 1139, sent from another thread as the installer
// threads send it: the hidden window is shown, the box runs over it, and
// the answer comes back to the sender.
// Stores the answer where the asking thread reads it once its send returns,
// as the controller keeps it.
class RequestWindow : public MessageFilter {
  public:
    int Filter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message != kMessageBoxRequest) {
            return 0;
        }
        result = ShowMessageBoxRequest(hwnd, wparam, lparam);
        return 1;
    }
    int result = -1;
};

struct AskThread {
    HWND window;
    LPARAM param;
    RequestWindow* filter;
    int answer = -1;
};

DWORD WINAPI Ask(void* p) {
    auto* ask = static_cast<AskThread*>(p);
    SendMessageW(ask->window, kMessageBoxRequest, reinterpret_cast<WPARAM>(L"安装线程的问题"),
                 ask->param);
    ask->answer = ask->filter->result;
    return 0;
}

TEST_F(DialogTest, Message1139FromAnotherThread) {
    RequestWindow filter;
    owner.AddFilter(&filter);
    for (int buttons : {1, 2, 3, 0}) {
        ShowWindow(owner_hwnd, SW_HIDE);
        filter.result = -1;
        AskThread ask{owner_hwnd, MessageBoxParam(1, buttons), &filter};
        bool visible = false;
        std::wstring first;
        if (buttons != 0) {
            Look([&] {
                visible = IsWindowVisible(owner_hwnd);
                first = Caption("button1");
            });
            Press(buttons == 1 ? "button1" : buttons == 2 ? "button2" : "button3");
        }
        HANDLE thread = CreateThread(nullptr, 0, &Ask, &ask, 0, nullptr);
        ASSERT_TRUE(thread);
        // Pump until the thread has its answer (bounded).
        qm::test::PumpUntilSignalled(thread, 20000);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
        CloseHandle(thread);
        EXPECT_EQ(buttons, ask.answer);
        if (buttons != 0) {
            EXPECT_TRUE(visible);
            EXPECT_EQ(buttons == 3 ? L"重试" : L"确定", first);
        } else {
            EXPECT_FALSE(IsWindowVisible(owner_hwnd));  // nothing shown
        }
    }
    owner.RemoveFilter(&filter);
}

// A real X event through xdotool, started as a Unix program by Wine's own
// start.exe. Its exit code does not come back through start.exe: the tests
// judge by what the dialog did.
bool Xdotool(const std::wstring& arguments) {
    std::wstring line = L"start.exe /wait /unix /usr/bin/xdotool " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(process.hProcess);
    return ended;
}

// Clicks the middle of a control of the running dialog with the real mouse.
void Click(const char* name) {
    g_steps.push_back([name] {
        Control* c = Find(name);
        if (!c) {
            return false;
        }
        const RECT r = c->GetBounds();
        POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(DialogWindow(), &p);
        Xdotool(L"mousemove " + std::to_wstring(p.x) + L" " + std::to_wstring(p.y) + L" click 1");
        return true;
    });
}

// Ends the dialog with -5 when the real input has not ended it within 10 s,
// so that a lost click fails the test instead of hanging it.
void Deadline() {
    const DWORD until = GetTickCount() + 10000;
    g_steps.push_back([until] {
        if (static_cast<LONG>(GetTickCount() - until) < 0) {
            return false;
        }
        if (HostBase* host = LookupHostByWindow(DialogWindow())) {
            static_cast<HostDialog*>(host)->End(-5);
        }
        return true;
    });
}

TEST_F(DialogTest, RealMouseClicksAndKeys) {
    MessageBoxDialog box;
    box.SetMessage(L"真实的鼠标");
    Click("button2");
    Deadline();
    EXPECT_EQ(2, box.Show(owner_hwnd, 2));
    g_steps.clear();

    ExitChoiceDialog exit_choice;
    Click("torvane7Radio");
    Click("okbtn");
    Deadline();
    EXPECT_EQ(1, exit_choice.Show(owner_hwnd));
    EXPECT_EQ(ExitChoiceDialog::kMoveToHost, exit_choice.Choice());
    g_steps.clear();

    // Esc from the keyboard, to the dialog that has the focus.
    MessageBoxDialog escaped;
    escaped.SetMessage(L"键盘");
    g_steps.push_back([] {
        HWND dialog = DialogWindow();
        if (!dialog || GetForegroundWindow() != dialog) {
            return false;
        }
        Xdotool(L"key Escape");
        return true;
    });
    Deadline();
    EXPECT_EQ(0, escaped.Show(owner_hwnd, 3));
    g_steps.clear();
}

bool HasLine(const std::wstring& text, const std::wstring& part) {
    std::wstringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        if (line.find(part) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

std::wstring LineWith(const std::wstring& text, const std::wstring& part) {
    std::wstringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        if (line.find(part) != std::wstring::npos) {
            return line;
        }
    }
    return L"<no line with " + part + L">";
}

TEST_F(DialogTest, AScreenReaderInAnotherProcessReadsAndPressesThem) {
    MessageBoxDialog box;
    box.SetMessage(L"该任务已经导入Torvane7中，请使用Torvane7继续下载。");
    Dump read, press;
    RunDump(&read, L"--wait 5000");
    RunDump(&press, L"--press button2");
    EXPECT_EQ(2, box.Show(owner_hwnd, 2));
    Collect(&read);
    Collect(&press);
    EXPECT_EQ(0, read.code) << std::string(read.text.begin(), read.text.end());
    EXPECT_TRUE(HasLine(read.text, L"name=\"该任务已经导入Torvane7中，请使用Torvane7继续下载。\""));
    EXPECT_TRUE(HasLine(read.text, L"name=\"确定\" value=\"\" help=\"button1\""));
    EXPECT_TRUE(HasLine(read.text, L"name=\"取消\" value=\"\" help=\"button2\""));
    EXPECT_TRUE(HasLine(read.text, L"help=\"closebtn\""));
    EXPECT_EQ(0, press.code);

    ExitChoiceDialog exit_choice;
    Dump radios, choose, ok;
    RunDump(&radios, L"--wait 5000");
    RunDump(&choose, L"--press exitRadio");
    RunDump(&ok, L"--press okbtn");
    EXPECT_EQ(1, exit_choice.Show(owner_hwnd));
    Collect(&radios);
    Collect(&choose);
    Collect(&ok);
    EXPECT_EQ(ExitChoiceDialog::kExit, exit_choice.Choice());
    EXPECT_TRUE(HasLine(radios.text, L"name=\"后台低速下载\""));
    // The reader sees which option is chosen at the start.
    EXPECT_NE(std::wstring::npos,
              LineWith(radios.text, L"help=\"backgroundRadio\"").find(L"checked"));
    EXPECT_EQ(std::wstring::npos, LineWith(radios.text, L"help=\"exitRadio\"").find(L"checked"));
    EXPECT_TRUE(HasLine(radios.text, L"name=\"将任务移至Torvane7\""));
    EXPECT_TRUE(HasLine(radios.text, L"name=\"退出下载器\""));
    EXPECT_EQ(0, choose.code);
    EXPECT_EQ(0, ok.code);
}

}  // namespace
