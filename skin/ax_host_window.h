// A window that hosts one ActiveX control, standing in for the system's
// "AtlAxWin71" class (the toolchain has no ATL). The window creates the
// control named by its window text (a CLSID in braces or a ProgID), or the
// one asked for through its host interface, and is the control's site:
// client site, in-place site and frame, and the document host's UI handler
// through which an embedded browser reaches the application's external
// object.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <unknwn.h>

// The host interface of the window, reached through WM_ATLGETHOST.
struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window,
                                                    IStream* stream) = 0;
    // As CreateControl; also hands out the control (AddRef'd) when control
    // is not null and connects advise_sink to the control's connection
    // point advise_iid when both are given.
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                                      IUnknown** control, REFIID advise_iid,
                                                      IUnknown* advise_sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
    // Replaces (and releases) the object that an embedded page reaches as
    // its external object; null removes it.
    virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* external) = 0;
    // Not supported: answers E_NOTIMPL.
    virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IUnknown* handler) = 0;
};
__CRT_UUID_DECL(IAxWinHostWindow, 0xb6ea2050, 0x048a, 0x11d1, 0x82, 0xb9, 0x00, 0xc0, 0x4f, 0xb9,
                0x94, 0x2e)

namespace qm::skin {

constexpr wchar_t kAxHostWindowClass[] = L"AtlAxWin71";
constexpr wchar_t kAxHostLicensedWindowClass[] = L"AtlAxWinLic71";

// Registers the two window classes and the messages "WM_ATLGETHOST" and
// "WM_ATLGETCONTROL", each only when not yet registered (another module of
// the process may have done it). Returns 1 when both classes exist after the
// call.
int RegisterAxHostWindow();

// The registered message numbers (0 before RegisterAxHostWindow). Sent to a
// host window, they answer its host interface or its control as an IUnknown
// holding one reference for the caller, or 0.
UINT AxGetHostMessage();
UINT AxGetControlMessage();

// The host interface of a host window; E_FAIL for any other window.
HRESULT AxGetHost(HWND window, IAxWinHostWindow** host);
// The control of a host window; E_FAIL when there is none.
HRESULT AxGetControl(HWND window, IUnknown** control);

}  // namespace qm::skin
