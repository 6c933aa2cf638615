// The taskbar button's progress: the calls and their order against a
// recording taskbar list, and nothing at all when the object cannot be made.
#include "app/taskbar_progress.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace {

class Recorder : public ITaskbarList3 {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND hwnd, ULONGLONG done,
                                               ULONGLONG total) override {
        calls.push_back("value " + std::to_string(done) + "/" + std::to_string(total));
        windows.push_back(hwnd);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND hwnd, TBPFLAG flags) override {
        calls.push_back("state " + std::to_string(static_cast<int>(flags)));
        windows.push_back(hwnd);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

    int refs = 1;
    std::vector<std::string> calls;
    std::vector<HWND> windows;
};

TEST(TaskbarProgress, ShowsNormalThenPausedAroundTheValueAndClears) {
    Recorder recorder;
    HWND window = reinterpret_cast<HWND>(0x1234);
    {
        TaskbarProgress progress;
        progress.BindTo(window, &recorder);
        EXPECT_EQ(1, progress.IsBound());
        EXPECT_EQ(2, recorder.refs);  // it keeps its own reference
        progress.Show(3000, 1000);
        progress.Show(0, 500);  // no total: nothing to show
        progress.Show(1000, 5000);
        progress.Clear();
    }
    EXPECT_EQ(1, recorder.refs);  // and gives it back
    EXPECT_EQ((std::vector<std::string>{"state 2", "value 33/100", "state 8", "state 2",
                                        "value 100/100", "state 8", "state 0"}),
              recorder.calls);
    for (HWND hwnd : recorder.windows) {
        EXPECT_EQ(window, hwnd);
    }
}

// On a thread without COM the object cannot be made.
DWORD WINAPI UnboundCalls(void* p) {
    auto* results = static_cast<int*>(p);
    TaskbarProgress progress;
    results[0] = progress.Bind(nullptr);
    results[1] = progress.IsBound();
    progress.Show(100, 50);
    progress.Clear();
    progress.BindTo(nullptr, nullptr);
    results[2] = progress.IsBound();
    progress.Show(100, 50);
    results[3] = 1;  // reached the end
    return 0;
}

TEST(TaskbarProgress, WithoutTheObjectEveryCallIsSkipped) {
    int results[4] = {-1, -1, -1, 0};
    HANDLE thread = CreateThread(nullptr, 0, &UnboundCalls, results, 0, nullptr);
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_EQ(0, results[0]);
    EXPECT_EQ(0, results[1]);
    EXPECT_EQ(0, results[2]);
    EXPECT_EQ(1, results[3]);

    // With COM (the test program's main thread has it) the system's object
    // may or may not exist; either way the calls come back.
    TaskbarProgress bound;
    const int made = bound.Bind(GetDesktopWindow());
    EXPECT_EQ(made, bound.IsBound());
    bound.Show(100, 50);
    bound.Clear();
}

}  // namespace
