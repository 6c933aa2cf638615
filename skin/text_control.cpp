#include "skin/text_control.h"

#include <algorithm>

#include "skin/bitmap.h"
#include "skin/font.h"
#include "skin/text.h"

namespace qm::skin {

TextControl::TextControl() {
    SetClassName("TextControl");
}

TextControl::~TextControl() = default;

int TextControl::SetText(const wchar_t* text) {
    if (!text || text_ == text) {
        return 0;
    }
    text_ = text;
    NotifyChange(UiHostBase::Change::kName);
    return 1;
}

void TextControl::SetColour(uint8_t red, uint8_t green, uint8_t blue) {
    colour_ = 0xFF000000u | uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
}

void TextControl::SetFontSize(int32_t pixels) {
    font_size_ = pixels;
}

void TextControl::SetUnderline(int underline) {
    underline_ = underline ? 1 : 0;
}

TextRenderer* TextControl::Renderer() {
    if (!renderer_) {
        renderer_ = std::make_unique<TextRenderer>();
    }
    // Both the size and the underline go into every new font, so changing one
    // never loses the other.
    if (!font_applied_ || applied_size_ != font_size_ || applied_underline_ != underline_) {
        FontInfo* font = FontInfo::Create();
        if (font) {
            font->SetHeight(font_size_);
            font->SetUnderline(underline_ != 0);
            renderer_->SetFont(font);
            font->Release();
        }
        font_applied_ = font != nullptr;
        applied_size_ = font_size_;
        applied_underline_ = underline_;
    }
    renderer_->SetColour(colour_);
    return renderer_.get();
}

const FontDescription* TextControl::AppliedFont() const {
    return renderer_ ? &renderer_->font()->description() : nullptr;
}

SIZE TextControl::MeasureText(int32_t wrap_width) {
    if (wrap_width <= 0) {
        wrap_width = RectWidth(GetBounds());
    }
    return Renderer()->MeasureText(text_.c_str(), static_cast<int>(text_.size()), wrap_width,
                                   multiline_ != 0);
}

RECT TextControl::InkBounds() {
    const RECT b = GetBounds();
    if (text_.empty()) {
        return MakeRect(b.left, b.top, b.left, b.top);
    }
    const SIZE extent = MeasureText();
    const int32_t w = std::min<int32_t>(extent.cx, RectWidth(b));
    const int32_t h = std::min<int32_t>(extent.cy, RectHeight(b));
    int32_t left = b.left, top = b.top;
    if (format_ & kTextCentre) {
        left += (RectWidth(b) - w) / 2;
    } else if (format_ & kTextRight) {
        left = b.right - w;
    }
    if (!multiline_ && (format_ & kTextVerticalCentre)) {
        top += (RectHeight(b) - h) / 2;
    } else if (!multiline_ && (format_ & kTextBottom)) {
        top = b.bottom - h;
    }
    return MakeRect(left, top, left + w, top + h);
}

int TextControl::Paint(Bitmap* surface) {
    if (!text_.empty()) {
        Renderer()->DrawText(surface, text_.c_str(), static_cast<int>(text_.size()), GetBounds(),
                             format_, multiline_ != 0);
    }
    return Control::Paint(surface);
}

Control::AccessRole TextControl::GetAccessRole() const {
    return AccessRole::kStaticText;
}

std::wstring TextControl::GetAccessName() const {
    return text_;
}

}  // namespace qm::skin
