#include "skin/text.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/font.h"

namespace qm::skin {
namespace {

// A top-down 32-bit section and the device context it is selected into.
class Pass {
  public:
    Pass(HDC screen, int w, int h) : w_(w), h_(h) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        section_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc_ = CreateCompatibleDC(screen);
        if (section_ && dc_) {
            bits_ = static_cast<uint8_t*>(bits);
            old_ = SelectObject(dc_, section_);
        }
    }
    ~Pass() {
        if (dc_) {
            if (old_) {
                SelectObject(dc_, old_);
            }
            if (old_font_) {
                SelectObject(dc_, old_font_);
            }
            DeleteDC(dc_);
        }
        if (section_) {
            DeleteObject(section_);
        }
    }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    uint8_t* row(int y) const { return bits_ + static_cast<ptrdiff_t>(y) * w_ * 4; }
    void Fill(uint8_t byte) { std::memset(bits_, byte, static_cast<size_t>(w_) * h_ * 4); }
    void FillColour(COLORREF c) {
        for (int y = 0; y < h_; ++y) {
            uint8_t* p = row(y);
            for (int x = 0; x < w_; ++x, p += 4) {
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
                p[3] = 0;
            }
        }
    }
    void Draw(HFONT font, COLORREF colour, const wchar_t* text, int length, RECT rect, UINT format,
              bool opaque = false, COLORREF background = 0) {
        HGDIOBJ was = SelectObject(dc_, font);
        if (!old_font_) {
            old_font_ = was;
        }
        SetTextColor(dc_, colour);
        SetBkMode(dc_, opaque ? OPAQUE : TRANSPARENT);
        if (opaque) {
            SetBkColor(dc_, background);
        }
        ::DrawTextW(dc_, text, length, &rect, format);
        GdiFlush();
    }

  private:
    int w_, h_;
    HBITMAP section_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
    HGDIOBJ old_font_ = nullptr;
    uint8_t* bits_ = nullptr;
};

inline uint32_t Div255(uint32_t v) {
    return (v + 127) / 255;
}

COLORREF ToColorRef(uint32_t argb) {
    return RGB((argb >> 16) & 255, (argb >> 8) & 255, argb & 255);
}

// Composites a colour at coverage g (0..255, the colour's own alpha
// included) over a premultiplied pixel.
inline void Composite(uint8_t* d, uint32_t argb, uint32_t g) {
    const uint32_t keep = 255 - g;
    d[0] = static_cast<uint8_t>(Div255(d[0] * keep + (argb & 255) * g));
    d[1] = static_cast<uint8_t>(Div255(d[1] * keep + ((argb >> 8) & 255) * g));
    d[2] = static_cast<uint8_t>(Div255(d[2] * keep + ((argb >> 16) & 255) * g));
    d[3] = static_cast<uint8_t>(Div255(d[3] * keep + 255 * g));
}

bool SameFont(const FontDescription& a, const FontDescription& b) {
    return a.height == b.height && a.width == b.width && a.escapement == b.escapement &&
           a.orientation == b.orientation && a.weight == b.weight && a.italic == b.italic &&
           a.underline == b.underline && a.strike_out == b.strike_out && a.charset == b.charset &&
           a.out_precision == b.out_precision && a.clip_precision == b.clip_precision &&
           a.quality == b.quality && a.pitch_and_family == b.pitch_and_family && a.face == b.face;
}

}  // namespace

// Everything a draw depends on, and the pixels under its rectangle before
// and after it. A window repaints its whole tree for every change, while
// most texts and the pixels under them stay as they were: those draws are
// replayed from here without GDI, with exactly the pixels GDI gave.
struct TextRenderer::Memo {
    std::wstring text;
    FontDescription font;
    uint32_t colour = 0;
    uint32_t background = 0;
    bool has_background = false;
    bool expand_tabs = false;
    RECT rect = {0, 0, 0, 0};
    RECT clip = {0, 0, 0, 0};
    uint32_t format = 0;
    bool multiline = false;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
};

bool TextRenderer::ReplayMemo(Bitmap* surface, const wchar_t* text, int length, const RECT& rect,
                              const RECT& clip, uint32_t format, bool multiline) {
    const Memo* m = memo_.get();
    if (!m || m->colour != colour_ || m->background != background_ ||
        m->has_background != has_background_ || m->expand_tabs != expand_tabs_ ||
        m->format != format || m->multiline != multiline || !RectEquals(m->rect, rect) ||
        !RectEquals(m->clip, clip) || m->text.size() != static_cast<size_t>(length) ||
        m->text.compare(0, m->text.size(), text, static_cast<size_t>(length)) != 0 ||
        !SameFont(m->font, font()->description())) {
        return false;
    }
    const size_t row = static_cast<size_t>(RectWidth(clip)) * 4;
    const int h = RectHeight(clip);
    for (int y = 0; y < h; ++y) {
        if (std::memcmp(surface->Row(clip.top + y) + clip.left * 4, m->before.data() + y * row,
                        row) != 0) {
            return false;
        }
    }
    for (int y = 0; y < h; ++y) {
        std::memcpy(surface->Row(clip.top + y) + clip.left * 4, m->after.data() + y * row, row);
    }
    return true;
}

void TextRenderer::KeepMemo(const uint8_t* before, Bitmap* surface, const wchar_t* text, int length,
                            const RECT& rect, const RECT& clip, uint32_t format, bool multiline) {
    if (!memo_) {
        memo_ = std::make_unique<Memo>();
    }
    Memo& m = *memo_;
    m.text.assign(text, static_cast<size_t>(length));
    m.font = font()->description();
    m.colour = colour_;
    m.background = background_;
    m.has_background = has_background_;
    m.expand_tabs = expand_tabs_;
    m.rect = rect;
    m.clip = clip;
    m.format = format;
    m.multiline = multiline;
    const size_t row = static_cast<size_t>(RectWidth(clip)) * 4;
    const int h = RectHeight(clip);
    m.before.assign(before, before + row * h);
    m.after.resize(row * h);
    for (int y = 0; y < h; ++y) {
        std::memcpy(m.after.data() + y * row, surface->Row(clip.top + y) + clip.left * 4, row);
    }
}

UINT SystemTextFormat(uint32_t format, bool multiline, bool expand_tabs) {
    UINT f = multiline ? (format & (DT_CENTER | DT_RIGHT | DT_WORD_ELLIPSIS)) | DT_WORDBREAK
                       : (format & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)) | DT_SINGLELINE;
    f |= DT_NOPREFIX;
    if (expand_tabs) {
        f |= DT_EXPANDTABS;
    }
    return f;
}

TextRenderer::TextRenderer() = default;

TextRenderer::~TextRenderer() {
    if (font_) {
        font_->Release();
    }
}

void TextRenderer::SetFont(FontInfo* font) {
    if (font) {
        font->AddRef();
    }
    if (font_) {
        font_->Release();
    }
    font_ = font;
}

FontInfo* TextRenderer::font() const {
    return font_ ? font_ : DefaultFontInfo();
}

int TextRenderer::DrawText(Bitmap* surface, const wchar_t* text, int length, const RECT& rect,
                           uint32_t format, bool multiline) {
    if (!surface || surface->format() != kBitmapBgra32) {
        return -1;
    }
    const uint32_t alpha = colour_ >> 24;
    if (!text || length <= 0 || (alpha == 0 && !has_background_)) {
        return 0;
    }
    const RECT clip = Intersect(rect, surface->Bounds());
    if (RectIsEmpty(clip)) {
        return 0;
    }
    if (ReplayMemo(surface, text, length, rect, clip, format, multiline)) {
        return 0;
    }
    HFONT font = this->font()->Handle();
    if (!font) {
        return -1;
    }
    const int w = RectWidth(clip), h = RectHeight(clip);
    HDC screen = GetDC(nullptr);
    Pass black(screen, w, h), white(screen, w, h), third(screen, w, h);
    ReleaseDC(nullptr, screen);
    if (!black.ok() || !white.ok() || !third.ok()) {
        return -1;
    }
    const UINT system_format = SystemTextFormat(format, multiline, expand_tabs_);
    RECT local = rect;
    OffsetRect(&local, -clip.left, -clip.top);
    const COLORREF colour = ToColorRef(colour_);
    black.Fill(0);
    black.Draw(font, colour, text, length, local, system_format);
    white.Fill(255);
    white.Draw(font, colour, text, length, local, system_format);

    // The third pass marks the pixels GDI touched: over a copy of the
    // destination, or with a background over a key colour.
    COLORREF key = RGB(255, 0, 255);
    if (has_background_) {
        if ((colour_ & 0xFFFFFF) == 0xFF00FF) {
            key = RGB(255, 255, 255);
        }
        third.FillColour(key);
        third.Draw(font, colour, text, length, local, system_format, true, ToColorRef(background_));
    } else {
        for (int y = 0; y < h; ++y) {
            std::memcpy(third.row(y), surface->Row(clip.top + y) + clip.left * 4,
                        static_cast<size_t>(w) * 4);
        }
        third.Draw(font, colour, text, length, local, system_format);
    }

    // The destination as it was, for the memo.
    std::vector<uint8_t> before(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        std::memcpy(before.data() + static_cast<size_t>(y) * w * 4,
                    surface->Row(clip.top + y) + clip.left * 4, static_cast<size_t>(w) * 4);
    }
    const uint32_t bg_alpha = background_ >> 24;
    for (int y = 0; y < h; ++y) {
        uint8_t* d = surface->Row(clip.top + y) + clip.left * 4;
        const uint8_t* b = black.row(y);
        const uint8_t* wp = white.row(y);
        const uint8_t* t = third.row(y);
        for (int x = 0; x < w; ++x, d += 4, b += 4, wp += 4, t += 4) {
            if (has_background_) {
                if (t[0] == GetBValue(key) && t[1] == GetGValue(key) && t[2] == GetRValue(key)) {
                    continue;
                }
                if (bg_alpha == 255) {
                    d[0] = background_ & 255;
                    d[1] = (background_ >> 8) & 255;
                    d[2] = (background_ >> 16) & 255;
                    d[3] = 255;
                } else if (bg_alpha) {
                    Composite(d, background_, bg_alpha);
                }
            } else if (std::memcmp(t, d, 3) == 0 && (t[3] == d[3] || t[3] == 0)) {
                // GDI left the pixel alone (it may clear alpha where it draws).
                continue;
            }
            uint32_t g;
            if (t[0] == GetBValue(colour) && t[1] == GetGValue(colour) &&
                t[2] == GetRValue(colour) && !has_background_) {
                g = 255;
            } else {
                // White pass minus black pass is 255 where no ink fell and 0
                // under full ink, whatever the colour; average the channels.
                int spread = 0;
                for (int c = 0; c < 3; ++c) {
                    spread += std::clamp(wp[c] - b[c], 0, 255);
                }
                g = 255 - static_cast<uint32_t>(spread / 3);
            }
            if (g == 0) {
                continue;
            }
            if (alpha != 255) {
                g = Div255(g * alpha);
            }
            if (g == 255) {
                d[0] = colour_ & 255;
                d[1] = (colour_ >> 8) & 255;
                d[2] = (colour_ >> 16) & 255;
                d[3] = 255;
            } else if (g) {
                Composite(d, colour_, g);
            }
        }
    }
    KeepMemo(before.data(), surface, text, length, rect, clip, format, multiline);
    return 0;
}

SIZE TextRenderer::MeasureText(const wchar_t* text, int length, int wrap_width, bool multiline) {
    SIZE size = {0, 0};
    if (!text || length <= 0) {
        return size;
    }
    HFONT font = this->font()->Handle();
    HDC dc = CreateCompatibleDC(nullptr);
    if (!font || !dc) {
        if (dc) {
            DeleteDC(dc);
        }
        return size;
    }
    HGDIOBJ old = SelectObject(dc, font);
    const UINT tabs = expand_tabs_ ? DT_EXPANDTABS : 0;
    RECT line = {0, 0, 0, 0};
    ::DrawTextW(dc, text, length, &line, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | tabs);
    size.cx = line.right - line.left;
    size.cy = line.bottom - line.top;
    if (multiline && wrap_width > 0) {
        RECT wrapped = {0, 0, wrap_width, 0};
        ::DrawTextW(dc, text, length, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | tabs);
        const LONG height = wrapped.bottom - wrapped.top;
        if (height > size.cy) {
            size.cx = wrap_width;
            size.cy = height;
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

}  // namespace qm::skin
