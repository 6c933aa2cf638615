// Modal HostDialogs: the template, the owner while the dialog runs, results,
// the keyboard (Esc, Enter, Tab, Space) through the system's dialog manager,
// a dialog without owner, and 500 dialogs leaving nothing behind.
#include "skin/host_window.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstring>
#include <deque>

#include "skin/button_control.h"
#include "skin/text_control.h"
#include "tests/skin_host/support.h"

namespace qm::skin::test {
namespace {

// The log's clicks only ("down ...", "up ...").
std::vector<std::string> Clicks() {
    std::vector<std::string> out;
    for (const std::string& line : g_log) {
        if (line.rfind("down ", 0) == 0 || line.rfind("up ", 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

// Steps run one per timer tick inside the dialog's modal loop.
std::deque<std::function<void()>> g_steps;

void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    if (g_steps.empty()) {
        KillTimer(nullptr, id);
        return;
    }
    auto step = g_steps.front();
    g_steps.pop_front();
    step();
}

// A message-box-like tree: a background with caption code 2 and on it a
// "closebtn" (only when asked for), a check box, an "okbtn" and a
// "cancelbtn" in that order. Clicks are logged; buttons end the dialog with their
// result.
struct DialogTree {
    explicit DialogTree(HostDialog* dialog, bool with_close = false) {
        root = Make<Solid>(kSolidType, "UIRoot", nullptr, nullptr);
        background = Make<Solid>(kSolidType, "ImageBkg", nullptr, root);
        background->SetHitTestCode(2);
        const RECT c = {20, 40, 200, 60}, ok = {150, 130, 240, 160}, cancel = {250, 130, 340, 160},
                   close = {310, 2, 340, 22};
        recorder = new Recorder();
        // As in the application's windows, the close button comes first.
        if (with_close) {
            close_button = Make<Press>(kPressType, "closebtn", &close, background);
            close_button->AddListener(recorder);
        }
        check = Make<Toggle>(kToggleType, "CheckInstall", &c, background);
        ok_button = Make<Press>(kPressType, "okbtn", &ok, background);
        cancel_button = Make<Press>(kPressType, "cancelbtn", &cancel, background);
        recorder->on_up = [dialog](Control* control) {
            const std::string name = control->GetName();
            if (name == "okbtn") {
                dialog->End(1);
            } else if (name == "cancelbtn") {
                dialog->End(2);
            } else if (name == "closebtn") {
                dialog->End(9);
            }
        };
        check->AddListener(recorder);
        ok_button->AddListener(recorder);
        cancel_button->AddListener(recorder);
        dialog->SetRoot(root);
        dialog->SetCaption(L"提示");
        const RECT size = {0, 0, 350, 180};
        dialog->SetRect(size);
        dialog->SetCentre(1);
    }
    ~DialogTree() {
        for (Control* c :
             {static_cast<Control*>(close_button), static_cast<Control*>(cancel_button),
              static_cast<Control*>(ok_button), static_cast<Control*>(check),
              static_cast<Control*>(background), static_cast<Control*>(root)}) {
            if (c) {
                c->Release();
            }
        }
    }
    Solid* root = nullptr;
    Solid* background = nullptr;
    Toggle* check = nullptr;
    Press* ok_button = nullptr;
    Press* cancel_button = nullptr;
    Press* close_button = nullptr;
    Recorder* recorder = nullptr;
};

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log.clear();
        g_steps.clear();
        const RECT r = {200, 150, 669, 524};  // 469 x 374, like the main window
        owner_hwnd = owner.Create(nullptr, r, L"dialog owner");
        ASSERT_TRUE(owner_hwnd);
        ShowWindow(owner_hwnd, SW_SHOW);
        UpdateWindow(owner_hwnd);
        SetActiveWindow(owner_hwnd);
    }
    void TearDown() override {
        KillTimer(nullptr, timer);
        g_steps.clear();
    }
    // Runs the dialog with the steps queued, one every 30 ms.
    INT_PTR Run(HostDialog& dialog, HWND dialog_owner) {
        timer = SetTimer(nullptr, 0, 30, &RunStep);
        const INT_PTR result = dialog.DoModal(dialog_owner);
        KillTimer(nullptr, timer);
        timer = 0;
        return result;
    }
    void Key(HostDialog& dialog, WPARAM key) {
        g_steps.push_back([&dialog, key] { PostMessageW(dialog.hwnd(), WM_KEYDOWN, key, 1); });
    }

    HostWindow owner;
    HWND owner_hwnd = nullptr;
    UINT_PTR timer = 0;
};

TEST(DialogTemplate, TheBlockIsByteForByte) {
    HostDialog dialog;
    dialog.SetCaption(L"ignored here");
    HGLOBAL block = dialog.BuildTemplate();
    ASSERT_TRUE(block);
    ASSERT_GE(GlobalSize(block), 1024u);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    ASSERT_TRUE(bytes);
    // A movable block: the handle is not the address.
    EXPECT_NE(static_cast<const void*>(block), static_cast<const void*>(bytes));
    const uint8_t expected[] = {
        0x00, 0x00, 0x08, 0x90,  // style: popup, visible, system menu
        0x00, 0x00, 0x00, 0x00,  // extended style
        0x00, 0x00,              // no items
        0x00, 0x00, 0x00, 0x00,  // x, y
        0x01, 0x00, 0x01, 0x00,  // 1 x 1 dialog units
        0x00, 0x00,              // no menu
        0x00, 0x00,              // the standard dialog class
        'M',  0,    'y',  0,    ' ', 0, 'D', 0, 'i', 0, 'a', 0, 'l', 0, 'o', 0, 'g', 0,
    };
    EXPECT_EQ(0, std::memcmp(expected, bytes, sizeof expected));
    size_t nonzero = 0;
    for (size_t i = sizeof expected; i < 1024; ++i) {
        nonzero += bytes[i] != 0;
    }
    EXPECT_EQ(0u, nonzero);
    GlobalUnlock(block);
    GlobalFree(block);
    EXPECT_EQ(0, dialog.SetCaption(nullptr));
}

TEST_F(DialogTest, OwnerIsDisabledWhileItRunsAndEnabledAndActiveAfter) {
    HostDialog dialog;
    DialogTree tree(&dialog);
    BOOL owner_enabled = TRUE;
    HWND dialog_owner = nullptr;
    RECT rect = {}, owner_rect = {};
    wchar_t caption[32] = {};
    bool registered = false;
    g_steps.push_back([&] {
        owner_enabled = IsWindowEnabled(owner_hwnd);
        dialog_owner = GetWindow(dialog.hwnd(), GW_OWNER);
        GetWindowRect(dialog.hwnd(), &rect);
        GetWindowRect(owner_hwnd, &owner_rect);
        GetWindowTextW(dialog.hwnd(), caption, 32);
        registered = LookupHostByWindow(dialog.hwnd()) == &dialog;
        dialog.End(42);
    });
    EXPECT_EQ(42, Run(dialog, owner_hwnd));
    EXPECT_FALSE(owner_enabled);
    EXPECT_EQ(owner_hwnd, dialog_owner);
    EXPECT_TRUE(registered);
    EXPECT_STREQ(L"提示", caption);
    EXPECT_EQ(350, rect.right - rect.left);
    EXPECT_EQ(180, rect.bottom - rect.top);
    // Centred over the owner.
    EXPECT_NEAR((owner_rect.left + owner_rect.right) / 2, (rect.left + rect.right) / 2, 1);
    EXPECT_NEAR((owner_rect.top + owner_rect.bottom) / 2, (rect.top + rect.bottom) / 2, 1);
    // Afterwards: the owner works again and is the active window; the tree
    // went with the dialog window.
    EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
    EXPECT_EQ(owner_hwnd, GetActiveWindow());
    EXPECT_EQ(nullptr, dialog.hwnd());
    EXPECT_EQ(0u, tree.root->ChildCount());
}

TEST_F(DialogTest, ButtonsEndItWithTheirResults) {
    for (const char* name : {"okbtn", "cancelbtn"}) {
        HostDialog dialog;
        DialogTree tree(&dialog);
        Control* target = std::string(name) == "okbtn" ? static_cast<Control*>(tree.ok_button)
                                                       : static_cast<Control*>(tree.cancel_button);
        g_steps.push_back([&] {
            // A real click's messages at the button's centre.
            const RECT b = target->GetBounds();
            const LPARAM at = MAKELPARAM((b.left + b.right) / 2, (b.top + b.bottom) / 2);
            PostMessageW(dialog.hwnd(), WM_MOUSEMOVE, 0, at);
            PostMessageW(dialog.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(dialog.hwnd(), WM_LBUTTONUP, 0, at);
        });
        EXPECT_EQ(std::string(name) == "okbtn" ? 1 : 2, Run(dialog, owner_hwnd)) << name;
    }
}

TEST_F(DialogTest, EscEndsItWithIdCancelOrThroughTheCloseButton) {
    {
        HostDialog dialog;
        DialogTree tree(&dialog);
        Key(dialog, VK_ESCAPE);
        EXPECT_EQ(IDCANCEL, Run(dialog, owner_hwnd));
    }
    {
        HostDialog dialog;
        DialogTree tree(&dialog, true);
        Key(dialog, VK_ESCAPE);
        EXPECT_EQ(9, Run(dialog, owner_hwnd));
        EXPECT_EQ(std::vector<std::string>({"down closebtn", "up closebtn"}), Clicks());
    }
    {
        // The system's close (Alt+F4, the system menu) goes the same way.
        HostDialog dialog;
        DialogTree tree(&dialog, true);
        g_steps.push_back([&] { PostMessageW(dialog.hwnd(), WM_CLOSE, 0, 0); });
        EXPECT_EQ(9, Run(dialog, owner_hwnd));
    }
}

TEST_F(DialogTest, EnterPressesTheFirstButtonOrTheFocusedControl) {
    {
        HostDialog dialog;
        DialogTree tree(&dialog);
        Key(dialog, VK_RETURN);
        EXPECT_EQ(1, Run(dialog, owner_hwnd));
        EXPECT_EQ(0, tree.check->checked);
    }
    {
        // The close button comes first in the tree but belongs to Esc.
        HostDialog dialog;
        DialogTree tree(&dialog, true);
        Key(dialog, VK_RETURN);
        EXPECT_EQ(1, Run(dialog, owner_hwnd));
    }
    {
        HostDialog dialog;
        DialogTree tree(&dialog);
        // Tab to the check box, Tab to ok, Tab to cancel: Enter presses cancel.
        Key(dialog, VK_TAB);
        Key(dialog, VK_TAB);
        Key(dialog, VK_TAB);
        Key(dialog, VK_RETURN);
        EXPECT_EQ(2, Run(dialog, owner_hwnd));
    }
}

TEST_F(DialogTest, TabAndSpaceReachTheCheckBox) {
    HostDialog dialog;
    DialogTree tree(&dialog);
    Control* focused = nullptr;
    int checked_after_space = -1;
    Key(dialog, VK_TAB);
    Key(dialog, VK_SPACE);
    g_steps.push_back([&] {
        focused = dialog.GetUiHost().FocusedControl();
        checked_after_space = tree.check->checked;
    });
    Key(dialog, VK_SPACE);
    g_steps.push_back([&] {
        EXPECT_EQ(0, tree.check->checked);
        dialog.End(5);
    });
    EXPECT_EQ(5, Run(dialog, owner_hwnd));
    EXPECT_EQ(tree.check, focused);
    EXPECT_EQ(1, checked_after_space);
    // The keys pressed the check box as clicks do, and nothing else.
    EXPECT_EQ(std::vector<std::string>(
                  {"down CheckInstall", "up CheckInstall", "down CheckInstall", "up CheckInstall"}),
              Clicks());
}

TEST_F(DialogTest, ADialogWithoutOwnerIsCentredOnTheWorkArea) {
    HostDialog dialog;
    DialogTree tree(&dialog);
    RECT rect = {};
    g_steps.push_back([&] {
        GetWindowRect(dialog.hwnd(), &rect);
        dialog.End(3);
    });
    EXPECT_EQ(3, Run(dialog, nullptr));
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(350, rect.right - rect.left);
    EXPECT_NEAR((work.left + work.right) / 2, (rect.left + rect.right) / 2, 1);
    EXPECT_NEAR((work.top + work.bottom) / 2, (rect.top + rect.bottom) / 2, 1);
}

// Ends its dialog once the dialog has painted.
class EndAfterPaint : public MessageFilter {
  public:
    explicit EndAfterPaint(HostDialog* dialog) : dialog_(dialog) {}
    int Filter(HWND hwnd, UINT message, WPARAM, LPARAM) override {
        if (message == WM_PAINT && !posted_) {
            posted_ = true;
            PostMessageW(hwnd, WM_APP, 0, 0);
        } else if (message == WM_APP) {
            dialog_->End(1);
            return 1;
        }
        return 0;
    }

  private:
    HostDialog* dialog_;
    bool posted_ = false;
};

struct Usage {
    DWORD gdi;
    DWORD user;
    SIZE_T private_bytes;
    SIZE_T heap_bytes;
};

// Bytes in use in all of the process's heaps (the C runtime's included).
SIZE_T HeapBusyBytes() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                total += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

Usage Measure() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
            GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), counters.PrivateUsage,
            HeapBusyBytes()};
}

TEST_F(DialogTest, FiveHundredDialogsLeaveTheProcessFlat) {
    int painted = 0;
    auto one = [&] {
        HostDialog dialog;
        DialogTree tree(&dialog);
        // Real controls too: text through GDI, a captioned button.
        const RECT text_rect = {20, 70, 330, 120}, button_rect = {40, 130, 130, 160};
        auto* message =
            Make<TextControl>(kTextControlType, "TextMessage", &text_rect, tree.background);
        message->SetText(L"这是一个对话框。");
        message->SetMultiline(1);
        auto* button =
            Make<ButtonControl>(kButtonControlType, "CaptionButton", &button_rect, tree.background);
        button->SetText(L"确定");
        EndAfterPaint ender(&dialog);
        dialog.AddFilter(&ender);
        EXPECT_EQ(1, dialog.DoModal(owner_hwnd));
        painted += tree.background->paints > 0;
        g_log.clear();  // the test's own log must not count as growth
        message->Release();
        button->Release();
    };
    for (int i = 0; i < 20; ++i) {
        one();
    }
    const Usage before = Measure();
    for (int i = 0; i < 500; ++i) {
        one();
    }
    const Usage after = Measure();
    EXPECT_EQ(520, painted);
    EXPECT_EQ(0, g_live_controls);
    // The system may not count handles (it answers 0 then); where it does,
    // they stay flat.
    EXPECT_LE(after.gdi, before.gdi + 4);
    EXPECT_LE(after.user, before.user + 4);
    EXPECT_LT(after.private_bytes, before.private_bytes + 1024 * 1024);
    // Heap bytes in use: a dialog that kept even 100 bytes would add 50 KB.
    EXPECT_GT(before.heap_bytes, 0u);
    EXPECT_LT(after.heap_bytes, before.heap_bytes + 32 * 1024);
    std::printf(
        "500 dialogs: GDI %lu -> %lu, USER %lu -> %lu, private bytes %zu -> %zu, "
        "heap bytes in use %zu -> %zu\n",
        before.gdi, after.gdi, before.user, after.user, static_cast<size_t>(before.private_bytes),
        static_cast<size_t>(after.private_bytes), static_cast<size_t>(before.heap_bytes),
        static_cast<size_t>(after.heap_bytes));
}

}  // namespace
}  // namespace qm::skin::test
