// The movie panel: a windowless movie player hosted in a child window of its
// own, whose frames are composited with their per-pixel alpha over a
// snapshot of the skin behind the child window. Windows only.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <ole2.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "skin/control.h"
#include "skin/shockwave_flash.h"

namespace qm::skin {

// The player's site and the child window it draws into. One object carries
// the client site, the windowless in-place site and the in-place frame, with
// one reference count.
class FlashPlayerHost final : public IOleClientSite,
                              public IOleInPlaceSiteWindowless,
                              public IOleInPlaceFrame {
  public:
    // The child window's timer that repaints the frame while a movie plays.
    static constexpr UINT_PTR kFrameTimerId = 1072;
    static constexpr UINT kFrameIntervalMs = 40;

    // A host with one reference, not yet holding a window or a player.
    static FlashPlayerHost* Create();

    // Creates the child window (style 0x56000000) in parent at rect (parent
    // client coordinates), then the player of class clsid, sets its
    // properties and activates it in place. 0 when the window cannot be
    // made; 1 otherwise, even when the player could not be created or
    // activated (the panel then stays empty; see HasPlayer).
    int Open(HWND parent, const RECT& rect, const CLSID& clsid = kShockwaveFlashClsid);
    // Stops a playing movie, sets the movie and starts it. 0 without a
    // player or when the player refuses one of the calls.
    int LoadMovie(const wchar_t* url);
    // Moves the child window (parent client coordinates) and the site.
    void Move(const RECT& rect);
    // Destroys the child window, which shuts the player down. Owners call
    // it before their last Release: a live player holds this site.
    void Close();

    HWND Window() const { return window_; }
    int HasPlayer() const { return view_ != nullptr; }
    int IsPlaying() const;

    // What the last paint drew, as 0xAARRGGBB words row by row (top first):
    // the snapshot of the skin and the composited frame. 0 before the first
    // paint.
    int CopySnapshot(std::vector<uint32_t>* pixels, int* width, int* height) const;
    int CopyComposite(std::vector<uint32_t>* pixels, int* width, int* height) const;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** out) override;
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    // IOleWindow (both the site and the frame)
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;
    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL no_redraw) override;
    STDMETHODIMP RequestUIActivate() override;
    // IOleInPlaceSiteWindowless
    STDMETHODIMP CanWindowlessActivate() override;
    STDMETHODIMP GetCapture() override;
    STDMETHODIMP SetCapture(BOOL capture) override;
    STDMETHODIMP GetFocus() override;
    STDMETHODIMP SetFocus(BOOL focus) override;
    STDMETHODIMP GetDC(LPCRECT rect, DWORD flags, HDC* dc) override;
    STDMETHODIMP ReleaseDC(HDC dc) override;
    STDMETHODIMP InvalidateRect(LPCRECT rect, BOOL erase) override;
    STDMETHODIMP InvalidateRgn(HRGN region, BOOL erase) override;
    STDMETHODIMP ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip) override;
    STDMETHODIMP AdjustRect(LPRECT rect) override;
    STDMETHODIMP OnDefWindowMessage(UINT message, WPARAM wparam, LPARAM lparam,
                                    LRESULT* result) override;
    // IOleInPlaceUIWindow and IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT border) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
    STDMETHODIMP InsertMenus(HMENU menu, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenu(HMENU menu, HOLEMENU shared, HWND active) override;
    STDMETHODIMP RemoveMenus(HMENU menu) override;
    STDMETHODIMP SetStatusText(LPCOLESTR text) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;

  private:
    // A 32-bit top-down DIB section selected into a memory DC of its own.
    struct Surface {
        HDC dc = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ old = nullptr;
        uint32_t* bits = nullptr;
        int width = 0;
        int height = 0;
        int Make(int w, int h);
        void Free();
    };

    FlashPlayerHost() = default;
    ~FlashPlayerHost();

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void CreatePlayer(const CLSID& clsid);
    void ShutDownPlayer();
    void OnPaint();
    void TakeSnapshot(const RECT& client);
    void OnDestroy();

    std::atomic<ULONG> references_{1};
    HWND window_ = nullptr;
    HWND parent_ = nullptr;
    IOleObject* object_ = nullptr;
    IViewObject* view_ = nullptr;
    IShockwaveFlash* flash_ = nullptr;
    IOleInPlaceObject* in_place_ = nullptr;
    RECT site_{0, 0, 0, 0};
    int transparent_ = 1;
    Surface black_;
    Surface white_;
    Surface frame_;
    Surface snapshot_;
    Surface composite_;
    RECT snapshot_client_{0, 0, 0, 0};
};

class FlashControl : public Control {
  public:
    FlashControl();

    // Opens the player on the first call (a child window of the tree's host
    // window at the control's bounds), then stops any movie playing and
    // plays url. 1 on success; 0 for a null url, a tree without a window, a
    // child window that cannot be made or a player that refuses the movie.
    int LoadMovie(const wchar_t* url);
    FlashPlayerHost* Host() const { return host_; }
    // The player's class; the player by default. Takes effect when the
    // player is first opened.
    void SetPlayerClass(const CLSID& clsid) { player_class_ = clsid; }

    int OnSize(const RECT& bounds) override;
    int OnShowWindow(int show, int status) override;
    void Invalidate() override;
    int Paint(Bitmap* surface) override;
    int Destroy() override;

  protected:
    ~FlashControl() override;

  private:
    FlashPlayerHost* host_ = nullptr;
    CLSID player_class_ = kShockwaveFlashClsid;
};

}  // namespace qm::skin
