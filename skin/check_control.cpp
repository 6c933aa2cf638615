#include "skin/check_control.h"

#include <algorithm>

#include "skin/control_factory.h"
#include "skin/focus_cue.h"
#include "skin/text_control.h"

namespace qm::skin {

CheckControlBase::CheckControlBase(bool toggles, bool has_disabled_box)
    : toggles_(toggles), has_disabled_box_(has_disabled_box) {}

CheckControlBase::~CheckControlBase() {
    ReleaseInnerControl(text_control_);
    ReleaseInnerControl(check_image_);
    ReleaseInnerControl(box_image_);
}

int CheckControlBase::OnCreate() {
    return AttachInteractionListener(this, this);
}

int CheckControlBase::Destroy() {
    ReleaseInnerControl(text_control_);
    ReleaseInnerControl(check_image_);
    ReleaseInnerControl(box_image_);
    return Control::Destroy();
}

bool CheckControlBase::MakeImages() {
    if (!box_image_) {
        box_image_ = CreateInnerControl<ImageControl>(this, kImageControlType, "CheckboxBkImage");
    }
    if (!check_image_) {
        check_image_ = CreateInnerControl<ImageControl>(this, kImageControlType, "CheckboxImage");
    }
    if (!box_image_ || !check_image_) {
        return false;
    }
    OnSize(GetBounds());
    return true;
}

int CheckControlBase::SetText(const wchar_t* text) {
    if (!text) {
        text = L"";
    }
    if (!text_control_) {
        text_control_ = CreateInnerControl<TextControl>(this, kTextControlType, "CheckboxText");
        if (!text_control_) {
            return 0;
        }
        text_control_->SetFormat(4);
        OnSize(GetBounds());
    }
    text_control_->SetText(text);
    if (text_ != text) {
        text_ = text;
        Invalidate();
        NotifyChange(UiHostBase::Change::kName);
    }
    return 1;
}

int CheckControlBase::SetBoxImage(int state, const ImageDescriptor& image) {
    const bool known = state == kStateNormal || state == kStateHover || state == kStatePressed ||
                       (state == kStateDisabled && has_disabled_box_);
    if (!known || !MakeImages()) {
        return 0;
    }
    slots_[state] = image;
    return 1;
}

int CheckControlBase::SetCheckImage(const ImageDescriptor& image) {
    if (!MakeImages()) {
        return 0;
    }
    slots_[kCheckSlot] = image;
    return 1;
}

int CheckControlBase::SetChecked(int checked) {
    checked = checked ? 1 : 0;
    if (checked_ == checked) {
        return 0;
    }
    checked_ = checked;
    Invalidate();
    NotifyChange(UiHostBase::Change::kState);
    return 1;
}

void CheckControlBase::SetBoxSize(int32_t pixels) {
    box_size_ = pixels;
    OnSize(GetBounds());
}

int CheckControlBase::OnAttachWindow(HWND window) {
    for (Control* inner : {static_cast<Control*>(box_image_), static_cast<Control*>(check_image_),
                           static_cast<Control*>(text_control_)}) {
        if (inner) {
            inner->AttachWindow(window);
        }
    }
    return 1;
}

int CheckControlBase::OnSize(const RECT& bounds) {
    if (text_control_) {
        const RECT offsets = MakeRect(CaptionOffset(), 0, 0, 0);
        text_control_->SetLayout("relative:ltrb", &offsets);
        text_control_->Layout(bounds);
    }
    // A square at the left edge, centred vertically.
    const int32_t d = (RectHeight(bounds) - box_size_) >> 1;
    const RECT box = MakeRect(0, d, box_size_, -d);
    for (ImageControl* image : {box_image_, check_image_}) {
        if (image) {
            image->SetLayout("relative:ltlb", &box);
            image->Layout(bounds);
        }
    }
    return 1;
}

RECT CheckControlBase::CaptionInk() {
    return CaptionCueRect(text_control_->InkBounds(), GetBounds());
}

int CheckControlBase::Paint(Bitmap* surface) {
    if (box_image_) {
        int slot = IsEnabled() ? state_ : kBoxDisabledSlot;
        // A radio option has no disabled box; it keeps its normal one rather
        // than losing the box altogether.
        if (slot == kBoxDisabledSlot && !has_disabled_box_) {
            slot = kStateNormal;
        }
        box_image_->SetImage(slots_[slot]);
        box_image_->Paint(surface);
    }
    if (check_image_ && checked_) {
        check_image_->SetImage(slots_[kCheckSlot]);
        check_image_->Paint(surface);
    }
    const bool has_caption = text_control_ && !text_.empty();
    if (has_caption) {
        text_control_->Paint(surface);
    }
    if (IsFocused()) {
        DrawFocusCue(surface, has_caption ? CaptionInk() : FocusCueRect(GetBounds()));
    }
    return Control::Paint(surface);
}

void CheckControlBase::SetState(int state) {
    if (state_ != state) {
        state_ = state;
        Invalidate();
        NotifyChange(UiHostBase::Change::kState);
    }
}

void CheckControlBase::OnPointerEnter() {
    SetState(kStateHover);
}

void CheckControlBase::OnPointerLeave() {
    SetState(kStateNormal);
}

void CheckControlBase::OnPointerDown() {
    SetState(kStatePressed);
    // On the press, so that the application's click handler (button up)
    // already reads the new value.
    if (toggles_) {
        SetChecked(!checked_);
    }
}

void CheckControlBase::OnPointerUp() {
    SetState(IsHover() ? kStateHover : kStateNormal);
}

std::wstring CheckControlBase::GetAccessName() const {
    return text_;
}

int CheckControlBase::IsAccessChecked() const {
    return checked_;
}

int CheckControlBase::IsAccessPressed() const {
    return state_ == kStatePressed ? 1 : 0;
}

int CheckControlBase::IsFocusable() const {
    return IsVisible() && IsEnabled() ? 1 : 0;
}

// ---------------------------------------------------------------------------

CheckboxControl::CheckboxControl() : CheckControlBase(true, true) {}

Control::AccessRole CheckboxControl::GetAccessRole() const {
    return AccessRole::kCheckBox;
}

int32_t CheckboxControl::CaptionOffset() const {
    return GetBoxSize() + 2;
}

RadioControl::RadioControl() : CheckControlBase(false, false) {}

Control::AccessRole RadioControl::GetAccessRole() const {
    return AccessRole::kRadioButton;
}

int32_t RadioControl::CaptionOffset() const {
    return 18;
}

}  // namespace qm::skin
