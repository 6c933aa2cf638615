// The part of a skinned window that owns the control tree: it forwards the
// window's messages to the tree, paints the tree through an off-screen 32-bit
// surface, turns the controls' hit-test codes into window dragging, moves a
// keyboard focus among the interactive controls and shows the tree to screen
// readers. Embedded in HostWindow and HostDialog (host_window.h).
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <cstddef>
#include <vector>

#include "skin/accessible.h"
#include "skin/control.h"

namespace qm::skin {

class Bitmap;
class WindowImpl;

// A pre-handler of a window's messages; non-zero consumes the message.
class MessageFilter {
  public:
    virtual int Filter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) = 0;

  protected:
    ~MessageFilter() = default;
};

class UiHost : public UiHostBase, private AccessibleSite {
  public:
    explicit UiHost(WindowImpl* window);
    ~UiHost() override;

    // The root is not reference counted: its owner keeps it alive while the
    // window exists. Sets this host on the whole tree. Returns 1.
    int SetRoot(Control* root);
    Control* GetRoot() const { return root_; }

    // Filters are not owned and are asked from the last added to the first.
    // AddFilter returns 0 when the list cannot grow; RemoveFilter 0 when the
    // filter is absent.
    int AddFilter(MessageFilter* filter);
    int RemoveFilter(MessageFilter* filter);
    // Forgets every filter (a window destroyed by its object's destructor
    // must not call back into objects already going away).
    void RemoveAllFilters() { filter_count_ = 0; }

    // 1 when the message is consumed, with *result set; a filter that
    // consumes leaves *result as the caller initialised it.
    int ProcessMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

    // The control with the keyboard focus, or null.
    Control* FocusedControl() const { return focus_; }
    // Moves the focus to control (null clears it); raises the focus event.
    void SetFocusControl(Control* control);
    // Moves the focus to the next (or previous) focusable control in tree
    // order, wrapping around. Returns the control focused, or null when none
    // can take the focus.
    Control* MoveFocus(bool backwards);
    // The first visible, enabled push button in tree order other than the
    // window's close button ("closebtn"), or null.
    Control* FirstButton() const;
    // The first control below the root (or the root) with this name.
    Control* FindByName(const char* name) const;

    // What the last paint did, for tests and the benchmark.
    const Bitmap* Surface() const { return surface_; }
    int SurfacesCreated() const { return surfaces_created_; }

    void ControlChanged(Control* control, Change change) override;

  private:
    HWND Window() const;
    void Paint(HWND hwnd);
    // Paints the tree and copies it to dc at the client origin.
    void PaintInto(HWND hwnd, HDC dc);
    void EndHover();
    void OnDestroy();
    LRESULT AccessibleObject(WPARAM wparam);
    void ReleaseAccessible();

    HWND AccessibleWindow() override;
    Control* AccessibleRoot() override;
    Control* AccessibleFocus() override;

    int handled_ = 0;
    WindowImpl* window_;
    Control* root_ = nullptr;
    Bitmap* surface_ = nullptr;
    MessageFilter** filters_ = nullptr;
    size_t filter_count_ = 0;
    size_t filter_capacity_ = 0;
    Control* focus_ = nullptr;
    IAccessible* accessible_ = nullptr;
    int surfaces_created_ = 0;
    bool window_gone_ = false;
};

}  // namespace qm::skin
