#include "skin/progress_control.h"

#include "skin/control_factory.h"
#include "skin/progress_arithmetic.h"
#include "skin/text_control.h"

namespace qm::skin {

ProgressControl::ProgressControl() = default;

ProgressControl::~ProgressControl() {
    ReleaseInnerControl(background_);
    ReleaseInnerControl(fill_);
    ReleaseInnerControl(text_control_);
}

int ProgressControl::Destroy() {
    ReleaseInnerControl(background_);
    ReleaseInnerControl(fill_);
    ReleaseInnerControl(text_control_);
    return Control::Destroy();
}

int ProgressControl::SetRange(uint32_t minimum, uint32_t maximum) {
    if (minimum >= maximum) {
        return 0;
    }
    minimum_ = minimum;
    maximum_ = maximum;
    SetPos(position_);
    PlaceFill(GetBounds());
    return 1;
}

void ProgressControl::GetRange(uint32_t* minimum, uint32_t* maximum) const {
    if (minimum) {
        *minimum = minimum_;
    }
    if (maximum) {
        *maximum = maximum_;
    }
}

void ProgressControl::SetPos(uint32_t position) {
    position = ClampProgressPosition(position, minimum_, maximum_);
    const bool changed = position != position_;
    position_ = position;
    PlaceFill(GetBounds());
    if (changed) {
        Invalidate();
        if (text_.empty()) {
            NotifyChange(UiHostBase::Change::kValue);
        }
    }
}

int ProgressControl::SetText(const wchar_t* text) {
    if (!text) {
        text = L"";
    }
    if (!text_control_) {
        text_control_ = CreateInnerControl<TextControl>(this, kTextControlType, "ProgressText");
        if (!text_control_) {
            return 0;
        }
        text_control_->Layout(GetBounds());
    }
    text_control_->SetText(text);
    if (text_ != text) {
        text_ = text;
        Invalidate();
        NotifyChange(UiHostBase::Change::kValue);
    }
    return 1;
}

bool ProgressControl::MakeImages() {
    if (!background_) {
        background_ = CreateInnerControl<ImageControl>(this, kImageControlType, "ProgressBkImage");
    }
    if (!fill_) {
        fill_ = CreateInnerControl<ImageControl>(this, kImageControlType, "ProgressImage");
    }
    if (!background_ || !fill_) {
        return false;
    }
    OnSize(GetBounds());
    return true;
}

int ProgressControl::SetBackgroundImage(const ImageDescriptor& image) {
    if (!MakeImages()) {
        return 0;
    }
    slots_[0] = image;
    background_->SetImage(image);
    return 1;
}

int ProgressControl::SetFillImage(const ImageDescriptor& image) {
    if (!MakeImages()) {
        return 0;
    }
    slots_[1] = image;
    fill_->SetImage(image);
    minimum_fill_width_ = static_cast<uint32_t>(RectWidth(image.NaturalBounds()));
    PlaceFill(GetBounds());
    return 1;
}

void ProgressControl::PlaceFill(const RECT& bounds) {
    if (!fill_) {
        return;
    }
    const uint32_t width = ProgressFillWidth(RectWidth(bounds), minimum_, maximum_, position_);
    const bool visible = minimum_fill_width_ != 0 && width >= minimum_fill_width_;
    const RECT offsets = MakeRect(0, 0, visible ? static_cast<int32_t>(width) : 0, 0);
    fill_->SetVisible(visible ? 1 : 0);
    fill_->SetLayout("relative:ltlb", &offsets);
    fill_->Layout(bounds);
}

RECT ProgressControl::FillBounds() const {
    return fill_ ? fill_->GetBounds() : MakeRect(0, 0, 0, 0);
}

int ProgressControl::IsFillVisible() const {
    return fill_ && fill_->IsVisible() ? 1 : 0;
}

int ProgressControl::OnAttachWindow(HWND window) {
    for (Control* inner : {static_cast<Control*>(background_), static_cast<Control*>(fill_),
                           static_cast<Control*>(text_control_)}) {
        if (inner) {
            inner->AttachWindow(window);
        }
    }
    return 1;
}

int ProgressControl::OnSize(const RECT& bounds) {
    if (background_) {
        background_->Layout(bounds);
    }
    if (text_control_) {
        text_control_->Layout(bounds);
    }
    PlaceFill(bounds);
    return 1;
}

int ProgressControl::Paint(Bitmap* surface) {
    if (background_) {
        background_->Paint(surface);
    }
    if (fill_ && fill_->IsVisible()) {
        fill_->Paint(surface);
    }
    if (text_control_ && !text_.empty()) {
        text_control_->Paint(surface);
    }
    return Control::Paint(surface);
}

Control::AccessRole ProgressControl::GetAccessRole() const {
    return AccessRole::kProgressBar;
}

std::wstring ProgressControl::GetAccessValue() const {
    if (!text_.empty()) {
        return text_;
    }
    return std::to_wstring(ProgressPercent(minimum_, maximum_, position_)) + L"%";
}

}  // namespace qm::skin
