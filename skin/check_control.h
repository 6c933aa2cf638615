// The check box and the radio option: a small box image at the left edge,
// a check mark over it while checked, and a caption to its right. They differ
// in three points only: a check box toggles itself when pressed, it has a
// disabled box image, and its caption starts right after the box (a radio
// option's at a fixed 18 pixels). Windows only (the caption is GDI text).
#pragma once

#include <string>

#include "skin/composite.h"
#include "skin/image_control.h"

namespace qm::skin {

class TextControl;

class CheckControlBase : public Control, private InteractionHooks {
  public:
    // The caption; null is taken as empty. Returns 1, or 0 when the inner
    // text cannot be made.
    int SetText(const wchar_t* text);
    const std::wstring& GetText() const { return text_; }
    // Box images by state: kStateNormal, kStateHover, kStatePressed, and
    // kStateDisabled for check boxes. Returns 1, or 0 for another state or
    // when the inner image cannot be made.
    int SetBoxImage(int state, const ImageDescriptor& image);
    int SetCheckImage(const ImageDescriptor& image);
    // Returns 1 and repaints when the value changed; 0 otherwise.
    int SetChecked(int checked);
    int IsChecked() const { return checked_; }
    void SetBoxSize(int32_t pixels);
    int32_t GetBoxSize() const { return box_size_; }
    int GetState() const { return state_; }
    // The caption's control, for colour and font size; null before SetText.
    TextControl* Caption() const { return text_control_; }

    int OnCreate() override;
    int Destroy() override;
    int OnAttachWindow(HWND window) override;
    int OnSize(const RECT& bounds) override;
    int Paint(Bitmap* surface) override;

    std::wstring GetAccessName() const override;
    int IsAccessChecked() const override;
    int IsAccessPressed() const override;
    int IsFocusable() const override;

  protected:
    CheckControlBase(bool toggles, bool has_disabled_box);
    ~CheckControlBase() override;
    // Left offset of the caption from the control's left edge.
    virtual int32_t CaptionOffset() const = 0;

  private:
    enum Slot { kBoxDisabledSlot = 3, kCheckSlot = 4, kSlotCount = 5 };

    void OnPointerEnter() override;
    void OnPointerLeave() override;
    void OnPointerDown() override;
    void OnPointerUp() override;
    void SetState(int state);
    bool MakeImages();
    // The caption's drawn extent, for the focus cue.
    RECT CaptionInk();

    const bool toggles_;
    const bool has_disabled_box_;
    int checked_ = 0;
    int state_ = kStateNormal;
    int32_t box_size_ = 16;
    std::wstring text_;
    ImageDescriptor slots_[kSlotCount];
    TextControl* text_control_ = nullptr;
    ImageControl* check_image_ = nullptr;
    ImageControl* box_image_ = nullptr;
};

class CheckboxControl : public CheckControlBase {
  public:
    CheckboxControl();
    AccessRole GetAccessRole() const override;

  protected:
    ~CheckboxControl() override = default;
    int32_t CaptionOffset() const override;
};

// Does not check itself when clicked: the application's click handler checks
// the clicked option and clears the others of its group.
class RadioControl : public CheckControlBase {
  public:
    RadioControl();
    AccessRole GetAccessRole() const override;

  protected:
    ~RadioControl() override = default;
    int32_t CaptionOffset() const override;
};

}  // namespace qm::skin
