// A link: underlined text in the link colour; the pointer turns into a hand
// over it. What a click does is the application's listener's business.
// Windows only (GDI text, the system's cursors).
#pragma once

#include <string>

#include "skin/composite.h"

namespace qm::skin {

class TextControl;

class TextlinkControl : public Control, private InteractionHooks {
  public:
    TextlinkControl();

    // Null is taken as empty. Returns 1, or 0 when the inner text cannot be
    // made.
    int SetText(const wchar_t* text);
    const std::wstring& GetText() const { return text_; }
    // The caption's control, for colour and font size; null before SetText.
    TextControl* Caption() const { return text_control_; }

    int OnCreate() override;
    int Destroy() override;
    int OnAttachWindow(HWND window) override;
    int OnSize(const RECT& bounds) override;
    int OnSetCursor(HWND window, int hit_code, int mouse_message) override;
    int Paint(Bitmap* surface) override;

    AccessRole GetAccessRole() const override;
    std::wstring GetAccessName() const override;
    int IsFocusable() const override;

  protected:
    ~TextlinkControl() override;

  private:
    void OnPointerEnter() override;
    void OnPointerLeave() override;
    void OnPointerDown() override {}
    void OnPointerUp() override {}
    TextControl* Text();

    std::wstring text_;
    TextControl* text_control_ = nullptr;
};

}  // namespace qm::skin
