// A line or a block of text drawn with a GDI font onto the surface. Windows
// only (the text goes through GDI).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "skin/control.h"

namespace qm::skin {

class TextRenderer;
struct FontDescription;

class TextControl : public Control {
  public:
    TextControl();

    // Returns 1 when the text changed; 0 for null or the same text. Does not
    // repaint: the caller invalidates.
    int SetText(const wchar_t* text);
    const std::wstring& GetText() const { return text_; }
    // The text format codes: 1 centre, 2 right, 4 vertical centre, 8 bottom.
    void SetFormat(uint32_t format) { format_ = format; }
    uint32_t GetFormat() const { return format_; }
    // Non-zero wraps words at the control's width.
    void SetMultiline(int multiline) { multiline_ = multiline ? 1 : 0; }
    int IsMultiline() const { return multiline_; }
    void SetColour(uint8_t red, uint8_t green, uint8_t blue);
    uint32_t GetColour() const { return colour_; }
    void SetFontSize(int32_t pixels);
    int32_t GetFontSize() const { return font_size_; }
    void SetUnderline(int underline);
    int GetUnderline() const { return underline_; }

    // The text's extent in the control's font. Multi-line text wraps at
    // wrap_width, or at the control's width when that is 0.
    SIZE MeasureText(int32_t wrap_width = 0);
    // Where the text lands inside the bounds, by the format's alignment
    // (clipped to the bounds); empty for an empty text.
    RECT InkBounds();
    // The font the last paint or measurement used; null before the first.
    const FontDescription* AppliedFont() const;

    int Paint(Bitmap* surface) override;
    AccessRole GetAccessRole() const override;
    std::wstring GetAccessName() const override;

  protected:
    ~TextControl() override;

  private:
    // Makes the renderer on first use and gives it a new font when the
    // size or the underline changed since the last use.
    TextRenderer* Renderer();

    std::wstring text_;
    int multiline_ = 0;
    uint32_t format_ = 5;
    uint32_t colour_ = 0xFFFFFFFF;
    int32_t font_size_ = 12;
    int underline_ = 0;
    std::unique_ptr<TextRenderer> renderer_;
    bool font_applied_ = false;
    int32_t applied_size_ = 0;
    int applied_underline_ = 0;
};

}  // namespace qm::skin
