// GDI text drawn onto 32-bit surfaces that carry alpha. GDI itself ignores
// alpha, so the text is drawn three times (on black, on white and over a copy
// of the destination) and composited from the coverage the first two passes
// give. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace qm::skin {

class Bitmap;
class FontInfo;

// Format bits (the system's text-drawing values) that DrawText keeps.
constexpr uint32_t kTextCentre = DT_CENTER;               // 1
constexpr uint32_t kTextRight = DT_RIGHT;                 // 2
constexpr uint32_t kTextVerticalCentre = DT_VCENTER;      // 4
constexpr uint32_t kTextBottom = DT_BOTTOM;               // 8
constexpr uint32_t kTextWordEllipsis = DT_WORD_ELLIPSIS;  // 0x40000

// The system format used for a format code: single-line keeps the
// alignment bits (1, 2, 4, 8); multi-line keeps 1, 2 and the word ellipsis
// and wraps words. Prefix characters ("&") are always shown as they are.
UINT SystemTextFormat(uint32_t format, bool multiline, bool expand_tabs);

class TextRenderer {
  public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // 0xAARRGGBB; alpha 0 draws nothing.
    void SetColour(uint32_t argb) { colour_ = argb; }
    uint32_t colour() const { return colour_; }
    // An area behind the text's drawn extent, written (or blended by its
    // alpha) before the text.
    void SetBackgroundColour(uint32_t argb) {
        background_ = argb;
        has_background_ = true;
    }
    void ClearBackgroundColour() { has_background_ = false; }
    // Takes a reference; null selects the default font.
    void SetFont(FontInfo* font);
    FontInfo* font() const;
    // Tab characters advance to tab stops instead of showing as boxes.
    void SetExpandTabs(bool expand) { expand_tabs_ = expand; }

    // Draws length characters of text into rect of surface (clipped to it).
    // Returns 0 (also when there is nothing to draw), or -1 for a null or
    // non-32-bit surface, or when GDI fails.
    int DrawText(Bitmap* surface, const wchar_t* text, int length, const RECT& rect,
                 uint32_t format, bool multiline);

    // Single-line: the extent of the text. Multi-line: wrapped at wrap_width;
    // (wrap_width, height) when that takes more than one line, else the
    // single-line extent.
    SIZE MeasureText(const wchar_t* text, int length, int wrap_width, bool multiline);

  private:
    struct Memo;
    // The memo of the last draw: true when it already holds what this draw
    // would make of the pixels under it, which it then writes.
    bool ReplayMemo(Bitmap* surface, const wchar_t* text, int length, const RECT& rect,
                    const RECT& clip, uint32_t format, bool multiline);
    void KeepMemo(const uint8_t* before, Bitmap* surface, const wchar_t* text, int length,
                  const RECT& rect, const RECT& clip, uint32_t format, bool multiline);

    std::unique_ptr<Memo> memo_;
    uint32_t colour_ = 0xFF000000;
    uint32_t background_ = 0;
    bool has_background_ = false;
    bool expand_tabs_ = false;
    FontInfo* font_ = nullptr;
};

}  // namespace qm::skin
