// Fonts for text drawing: the description of a Windows font, created lazily,
// and the process's default face. Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace qm::skin {

// The simplified-Chinese character set.
constexpr BYTE kChineseCharset = 134;

struct FontFace {
    std::wstring face;
    BYTE charset = kChineseCharset;
};

// The caption font's face when it is one of the usual Chinese faces, else
// "SimSun" or "Microsoft YaHei" when the system has them, else the caption
// font's face anyway; computed once per process.
const FontFace& DefaultFontFace();

// Whether the system has a font family of this face (any character set).
bool FontFaceExists(const wchar_t* face);

struct FontDescription {
    int32_t height = 12;  // character height in pixels
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = FW_NORMAL;
    BYTE italic = 0;
    BYTE underline = 0;
    BYTE strike_out = 0;
    BYTE charset = kChineseCharset;
    BYTE out_precision = OUT_DEFAULT_PRECIS;
    BYTE clip_precision = CLIP_DEFAULT_PRECIS;
    // Grey anti-aliasing: text is composited from its coverage, which
    // sub-pixel (ClearType) rendering would tint.
    BYTE quality = ANTIALIASED_QUALITY;
    BYTE pitch_and_family = DEFAULT_PITCH | FF_DONTCARE;
    std::wstring face;  // at most 31 characters are used; empty: the default face
};

class FontInfo {
  public:
    // A new font (reference count 1) of the default face, 12 pixels.
    static FontInfo* Create();
    static FontInfo* Create(const FontDescription& description);

    FontInfo(const FontInfo&) = delete;
    FontInfo& operator=(const FontInfo&) = delete;

    int32_t AddRef();
    int32_t Release();

    const FontDescription& description() const { return description_; }
    // Changing the description drops the font handle; the next use makes one.
    void SetDescription(const FontDescription& description);
    void SetHeight(int32_t pixels);
    void SetUnderline(bool underline);

    // The font, created on first use. A face the system lacks is replaced by
    // the default face. Null only when the system cannot create any font.
    HFONT Handle();

  private:
    explicit FontInfo(const FontDescription& d) : description_(d) {}
    ~FontInfo();

    FontDescription description_;
    HFONT font_ = nullptr;
    std::atomic<int32_t> references_{1};
};

// The process-wide default font (default face, 12 pixels). Borrowed.
FontInfo* DefaultFontInfo();

}  // namespace qm::skin
