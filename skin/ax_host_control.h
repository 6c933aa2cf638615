// The web page panel: a control that hosts the platform's web browser in an
// "AtlAxWin71" child window of its tree's window, made on the first
// navigation. The browser window draws itself; the control keeps it on its
// bounds and gives the page the application's external object.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <oaidl.h>

#include "skin/control.h"

namespace qm::skin {

// The platform's web browser object.
constexpr wchar_t kWebBrowserClass[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

class AxHostControl : public Control {
  public:
    AxHostControl();

    // The first call makes the host window (child of the root's window, on
    // the bounds) and the browser in it, and hands the browser the external
    // object. Returns 1 when the browser took the URL; 0 for a null URL
    // (nothing is made), when the browser could not be made (its window is
    // taken down again and the next call tries anew) or when it refused the
    // URL (LastResult tells why).
    int Navigate(const wchar_t* url);
    // Keeps a reference to external (null allowed) and releases the previous
    // one. A browser already made gets it at once; one made later, when it
    // is made. Returns 1.
    int SetExternal(IDispatch* external);

    // The browser's answer to the last navigation, or the failure that kept
    // it from being asked.
    HRESULT LastResult() const { return last_result_; }
    HWND GetAxWindow() const { return ax_window_; }
    IWebBrowser2* GetBrowser() const { return browser_; }
    IDispatch* GetExternal() const { return external_; }

    int OnSize(const RECT& bounds) override;
    int OnShowWindow(int show, int status) override;
    // The browser window draws itself.
    int Paint(Bitmap* surface) override;
    int Destroy() override;

  protected:
    ~AxHostControl() override;

  private:
    HRESULT CreateBrowser();
    void DestroyBrowser();

    HWND ax_window_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IDispatch* external_ = nullptr;
    HRESULT last_result_ = S_OK;
};

}  // namespace qm::skin
