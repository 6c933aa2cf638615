#include "skin/textlink_control.h"

#include "skin/control_factory.h"
#include "skin/focus_cue.h"
#include "skin/text_control.h"

namespace qm::skin {

TextlinkControl::TextlinkControl() = default;

TextlinkControl::~TextlinkControl() {
    ReleaseInnerControl(text_control_);
}

int TextlinkControl::OnCreate() {
    return AttachInteractionListener(this, this);
}

int TextlinkControl::Destroy() {
    ReleaseInnerControl(text_control_);
    return Control::Destroy();
}

TextControl* TextlinkControl::Text() {
    if (!text_control_) {
        text_control_ = CreateInnerControl<TextControl>(this, kTextControlType, "TextlinkText");
        if (text_control_) {
            text_control_->SetColour(0, 145, 255);
            text_control_->SetUnderline(1);
            text_control_->SetFormat(4);
            text_control_->Layout(GetBounds());
        }
    }
    return text_control_;
}

int TextlinkControl::SetText(const wchar_t* text) {
    if (!text) {
        text = L"";
    }
    if (!Text()) {
        return 0;
    }
    text_control_->SetText(text);
    if (text_ != text) {
        text_ = text;
        Invalidate();
        NotifyChange(UiHostBase::Change::kName);
    }
    return 1;
}

int TextlinkControl::OnAttachWindow(HWND window) {
    if (text_control_) {
        text_control_->AttachWindow(window);
    }
    return 1;
}

int TextlinkControl::OnSize(const RECT& bounds) {
    if (text_control_) {
        text_control_->Layout(bounds);
    }
    return 1;
}

int TextlinkControl::OnSetCursor(HWND window, int hit_code, int mouse_message) {
    if (IsVisible() && IsEnabled() && IsHover()) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return 1;
    }
    return Control::OnSetCursor(window, hit_code, mouse_message);
}

int TextlinkControl::Paint(Bitmap* surface) {
    if (text_control_) {
        text_control_->Paint(surface);
        if (IsFocused()) {
            DrawFocusCue(surface, text_.empty()
                                      ? FocusCueRect(GetBounds())
                                      : CaptionCueRect(text_control_->InkBounds(), GetBounds()));
        }
    } else if (IsFocused()) {
        DrawFocusCue(surface, FocusCueRect(GetBounds()));
    }
    return Control::Paint(surface);
}

void TextlinkControl::OnPointerEnter() {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    NotifyChange(UiHostBase::Change::kState);
}

void TextlinkControl::OnPointerLeave() {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    NotifyChange(UiHostBase::Change::kState);
}

Control::AccessRole TextlinkControl::GetAccessRole() const {
    return AccessRole::kLink;
}

std::wstring TextlinkControl::GetAccessName() const {
    return text_;
}

int TextlinkControl::IsFocusable() const {
    return IsVisible() && IsEnabled() ? 1 : 0;
}

}  // namespace qm::skin
