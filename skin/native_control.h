// Controls that embed a real Win32 edit box (plain or rich) in a skinned
// window. The child window draws itself; the control keeps it where its
// bounds are, shows it with the control and draws a thin frame around it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/control.h"
#include "skin/control_factory.h"

namespace qm::skin {

// The frame drawn around the child window.
constexpr uint32_t kNativeFrameColour = 0xFFABC2DB;

class NativeControl : public Control {
  public:
    // The child window, or null before OnCreate and after Destroy.
    HWND GetNativeWindow() const { return child_; }

    // Creates the hidden child window, owned by the desktop until the tree
    // is attached to its window. 0 when the window cannot be created.
    int OnCreate() override;
    int OnAttachWindow(HWND window) override;
    int OnSize(const RECT& bounds) override;
    int OnShowWindow(int show, int status) override;
    void Invalidate() override;
    int Paint(Bitmap* surface) override;
    int Destroy() override;

    // The child window's style: child, vertical scroll bar, multi-line.
    static constexpr DWORD kChildStyle = 0x40200004;

  protected:
    explicit NativeControl(const wchar_t* window_class);
    ~NativeControl() override;

  private:
    void DestroyChild();

    const wchar_t* window_class_;
    HWND child_ = nullptr;
};

// NativeControlT<6> is the plain edit box ("EDIT"), NativeControlT<7> the
// rich edit box ("RichEdit20W", whose library the skin start-up loads).
template <int32_t TypeId>
class NativeControlT : public NativeControl {
    static_assert(TypeId == kEditControlType || TypeId == kRichEditControlType,
                  "only the edit boxes are native controls");

  public:
    NativeControlT() : NativeControl(TypeId == kEditControlType ? L"EDIT" : L"RichEdit20W") {
        SetClassName("NativeControlT");
    }

  protected:
    ~NativeControlT() override = default;
};

using EditControl = NativeControlT<kEditControlType>;
using RichEditControl = NativeControlT<kRichEditControlType>;

// Draws the one-pixel frame of an embedded window whose client area covers
// bounds: the pixels just outside its left and top edges and just at its
// right and bottom edges. Clipped to the surface.
void DrawNativeFrame(Bitmap* surface, const RECT& bounds, uint32_t argb = kNativeFrameColour);

}  // namespace qm::skin
