// Shared by the tests of the embedded controls and the tips window: the
// stand-in browser registered under the web browser class for the whole
// test program (and put back afterwards), its record and object count, a
// skinned window to host a tree, and a dispatch object that counts its
// references.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <string>

#include "skin/control.h"
#include "skin/host_window.h"
#include "tests/support/gui_support.h"

namespace qm::skin::embed_test {

// Whether the stand-in browser took the web browser class for this program.
bool StandInRegistered();
// Browser objects of the stand-in alive in this process.
long LiveBrowsers();
// The stand-in's record, one line per event, and its reset.
std::wstring BrowserRecord();
void ClearBrowserRecord();
// Whether the record has a line equal to line.
bool RecordHas(const std::wstring& line);

using qm::test::Pump;
using qm::test::PumpUntil;

// Runs a Unix program (real X input through xdotool) by Wine's start.exe and
// waits for it, pumping this thread's messages meanwhile; false when it
// could not start or did not end within ten seconds.
bool RunUnix(const std::wstring& command);

// A top-level skinned window over a root layout control; the test adds its
// controls below Root() before Create.
class TestWindow {
  public:
    TestWindow();
    ~TestWindow();
    Control* Root() const { return root_; }
    // Creates (at rect, screen coordinates), shows and paints the window.
    HWND Create(const RECT& rect);
    HWND hwnd() const { return window_.hwnd(); }
    UiHost& Host() { return window_.GetUiHost(); }

  private:
    HostWindow window_;
    Control* root_ = nullptr;
};

// A control of the type, laid out by "relative:ltlt" at rect, under parent.
// The caller owns the returned reference.
Control* MakeControl(int32_t type, const char* name, const RECT& rect, Control* parent);

// A dispatch object that answers nothing and counts its references.
class CountingDispatch : public IDispatch {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    ULONG references = 0;
};

}  // namespace qm::skin::embed_test
