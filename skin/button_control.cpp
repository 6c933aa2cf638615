#include "skin/button_control.h"

#include "skin/control_factory.h"
#include "skin/focus_cue.h"
#include "skin/text_control.h"

namespace qm::skin {

ButtonControl::ButtonControl() {
    SetClassName("ButtonControl");
}

ButtonControl::~ButtonControl() {
    ReleaseInnerControl(text_);
    ReleaseInnerControl(image_);
}

int ButtonControl::OnCreate() {
    return AttachInteractionListener(this, this);
}

int ButtonControl::Destroy() {
    ReleaseInnerControl(text_);
    ReleaseInnerControl(image_);
    return Control::Destroy();
}

ImageControl* ButtonControl::Image() {
    if (!image_) {
        image_ = CreateInnerControl<ImageControl>(this, kImageControlType, "ButtonImage");
        if (image_) {
            image_->Layout(GetBounds());
        }
    }
    return image_;
}

int ButtonControl::SetSlot(int slot, const ImageDescriptor& image) {
    if (!Image()) {
        return 0;
    }
    slots_[slot] = image;
    return 1;
}

int ButtonControl::SetNormalImage(const ImageDescriptor& image) {
    return SetSlot(kStateNormal, image);
}

int ButtonControl::SetHoverImage(const ImageDescriptor& image) {
    return SetSlot(kStateHover, image);
}

int ButtonControl::SetPressedImage(const ImageDescriptor& image) {
    return SetSlot(kStatePressed, image);
}

int ButtonControl::SetDisabledImage(const ImageDescriptor& image) {
    return SetSlot(kStateDisabled, image);
}

int ButtonControl::SetText(const wchar_t* text) {
    if (!text) {
        return 0;
    }
    if (!text_) {
        text_ = CreateInnerControl<TextControl>(this, kTextControlType, "ButtonText");
        if (!text_) {
            return 0;
        }
        text_->Layout(GetBounds());
    }
    if (!text_->SetText(text)) {
        return 0;
    }
    Invalidate();
    NotifyChange(UiHostBase::Change::kName);
    return 1;
}

std::wstring ButtonControl::GetText() const {
    return text_ ? text_->GetText() : std::wstring();
}

int ButtonControl::OnAttachWindow(HWND window) {
    for (Control* inner : {static_cast<Control*>(image_), static_cast<Control*>(text_)}) {
        if (inner) {
            inner->AttachWindow(window);
        }
    }
    return 1;
}

int ButtonControl::OnSize(const RECT& bounds) {
    for (Control* inner : {static_cast<Control*>(image_), static_cast<Control*>(text_)}) {
        if (inner) {
            inner->Layout(bounds);
        }
    }
    return 1;
}

int ButtonControl::Paint(Bitmap* surface) {
    if (image_) {
        image_->SetImage(slots_[IsEnabled() ? state_ : kStateDisabled]);
        image_->Paint(surface);
    }
    if (text_) {
        text_->Paint(surface);
    }
    if (IsFocused()) {
        DrawFocusCue(surface, FocusCueRect(GetBounds()));
    }
    return Control::Paint(surface);
}

void ButtonControl::SetState(int state) {
    if (state_ != state) {
        state_ = state;
        Invalidate();
        NotifyChange(UiHostBase::Change::kState);
    }
}

void ButtonControl::OnPointerEnter() {
    SetState(kStateHover);
}

void ButtonControl::OnPointerLeave() {
    SetState(kStateNormal);
}

void ButtonControl::OnPointerDown() {
    SetState(kStatePressed);
}

void ButtonControl::OnPointerUp() {
    // A press that did not come with the pointer over the button (a keyboard
    // or screen-reader click) must not leave it looking hovered.
    SetState(IsHover() ? kStateHover : kStateNormal);
}

Control::AccessRole ButtonControl::GetAccessRole() const {
    return AccessRole::kPushButton;
}

std::wstring ButtonControl::GetAccessName() const {
    return GetText();
}

int ButtonControl::IsAccessPressed() const {
    return state_ == kStatePressed ? 1 : 0;
}

int ButtonControl::IsFocusable() const {
    return IsVisible() && IsEnabled() ? 1 : 0;
}

}  // namespace qm::skin
