#include "skin/ax_host_control.h"

#include "skin/ax_host_window.h"

namespace qm::skin {

// Like the movie panel, the page panel keeps the base class name.
AxHostControl::AxHostControl() = default;

AxHostControl::~AxHostControl() {
    DestroyBrowser();
    if (external_) {
        external_->Release();
    }
}

int AxHostControl::Navigate(const wchar_t* url) {
    if (!url) {
        return 0;
    }
    if (!browser_) {
        last_result_ = CreateBrowser();
        if (!browser_) {
            return 0;
        }
    }
    BSTR address = SysAllocString(url);
    if (!address) {
        last_result_ = E_OUTOFMEMORY;
        return 0;
    }
    VARIANT flags, target, post, headers;
    VariantInit(&flags);
    VariantInit(&target);
    VariantInit(&post);
    VariantInit(&headers);
    last_result_ = browser_->Navigate(address, &flags, &target, &post, &headers);
    SysFreeString(address);
    return SUCCEEDED(last_result_) ? 1 : 0;
}

int AxHostControl::SetExternal(IDispatch* external) {
    if (external) {
        external->AddRef();
    }
    IDispatch* old = external_;
    external_ = external;
    if (old) {
        old->Release();
    }
    IAxWinHostWindow* host = nullptr;
    if (ax_window_ && SUCCEEDED(AxGetHost(ax_window_, &host)) && host) {
        host->SetExternalDispatch(external_);
        host->Release();
    }
    return 1;
}

HRESULT AxHostControl::CreateBrowser() {
    Control* root = Root();
    HWND parent = root ? root->GetHostWindow() : nullptr;
    if (!parent || !IsWindow(parent)) {
        return E_FAIL;
    }
    RegisterAxHostWindow();
    const RECT bounds = GetBounds();
    ax_window_ = CreateWindowExW(0, kAxHostWindowClass, L"", 0x50000000, bounds.left, bounds.top,
                                 bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!ax_window_) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    IAxWinHostWindow* host = nullptr;
    HRESULT hr = AxGetHost(ax_window_, &host);
    if (SUCCEEDED(hr)) {
        hr = host->CreateControl(kWebBrowserClass, ax_window_, nullptr);
        if (SUCCEEDED(hr)) {
            hr = host->QueryControl(__uuidof(IWebBrowser2), reinterpret_cast<void**>(&browser_));
        }
        if (SUCCEEDED(hr)) {
            host->SetExternalDispatch(external_);
        }
        host->Release();
    }
    if (FAILED(hr) || !browser_) {
        // The panel stays empty; the next navigation tries again.
        DestroyBrowser();
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    return S_OK;
}

void AxHostControl::DestroyBrowser() {
    if (browser_) {
        IWebBrowser2* browser = browser_;
        browser_ = nullptr;
        browser->Release();
    }
    HWND window = ax_window_;
    ax_window_ = nullptr;
    // Taking the window down takes the control down with its site.
    if (window && IsWindow(window)) {
        DestroyWindow(window);
    }
}

int AxHostControl::OnSize(const RECT& bounds) {
    if (ax_window_ && IsWindow(ax_window_)) {
        MoveWindow(ax_window_, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, TRUE);
    }
    return 1;
}

int AxHostControl::OnShowWindow(int show, int status) {
    if (ax_window_ && IsWindow(ax_window_)) {
        ShowWindow(ax_window_, IsVisible() && show ? SW_SHOW : SW_HIDE);
    }
    return Control::OnShowWindow(show, status);
}

int AxHostControl::Paint(Bitmap*) {
    return 1;
}

int AxHostControl::Destroy() {
    DestroyBrowser();
    return Control::Destroy();
}

}  // namespace qm::skin
