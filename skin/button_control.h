// The push button: a state image (normal, hover, pressed, disabled) under a
// centred caption. Windows only (the caption is GDI text).
#pragma once

#include <string>

#include "skin/composite.h"
#include "skin/image_control.h"

namespace qm::skin {

class TextControl;

class ButtonControl : public Control, private InteractionHooks {
  public:
    ButtonControl();

    // Each returns 1, or 0 when the inner image cannot be made.
    int SetNormalImage(const ImageDescriptor& image);
    int SetHoverImage(const ImageDescriptor& image);
    int SetPressedImage(const ImageDescriptor& image);
    int SetDisabledImage(const ImageDescriptor& image);
    // Returns 1 when the caption changed; 0 for null, the same caption, or
    // when the inner text cannot be made.
    int SetText(const wchar_t* text);
    // "" before any caption was set.
    std::wstring GetText() const;
    // The caption's control, for colour and font size; null before SetText.
    TextControl* Caption() const { return text_; }

    int GetState() const { return state_; }

    int OnCreate() override;
    int Destroy() override;
    int OnAttachWindow(HWND window) override;
    int OnSize(const RECT& bounds) override;
    int Paint(Bitmap* surface) override;

    AccessRole GetAccessRole() const override;
    std::wstring GetAccessName() const override;
    int IsAccessPressed() const override;
    int IsFocusable() const override;

  protected:
    ~ButtonControl() override;

  private:
    void OnPointerEnter() override;
    void OnPointerLeave() override;
    void OnPointerDown() override;
    void OnPointerUp() override;
    void SetState(int state);
    int SetSlot(int slot, const ImageDescriptor& image);
    ImageControl* Image();

    int state_ = kStateNormal;
    ImageDescriptor slots_[4];
    TextControl* text_ = nullptr;
    ImageControl* image_ = nullptr;
};

}  // namespace qm::skin
