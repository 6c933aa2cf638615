#include "skin/font.h"

#include <cwchar>
#include <new>

namespace qm::skin {
namespace {

struct Found {
    bool any = false;
    wchar_t face[LF_FACESIZE] = {};
};

int CALLBACK OnFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    found->any = true;
    wcsncpy(found->face, font->lfFaceName, LF_FACESIZE - 1);
    return 0;  // the first is enough
}

// The face name the system enumerates for a family in a character set, or
// empty.
std::wstring EnumeratedFace(const wchar_t* face, BYTE charset) {
    LOGFONTW query = {};
    query.lfCharSet = charset;
    wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    Found found;
    HDC dc = GetDC(nullptr);
    if (!dc) {
        return std::wstring();
    }
    EnumFontFamiliesExW(dc, &query, OnFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found.any ? std::wstring(found.face) : std::wstring();
}

FontFace ComputeDefaultFace() {
    FontFace result;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        result.face = metrics.lfCaptionFont.lfFaceName;
    }
    static const wchar_t* const kChinese[] = {L"\x5b8b\x4f53", L"\x5fae\x8f6f\x96c5\x9ed1",
                                              L"simsun", L"Microsoft YaHei"};
    for (const wchar_t* face : kChinese) {
        if (!result.face.empty() && _wcsicmp(result.face.c_str(), face) == 0) {
            return result;
        }
    }
    for (const wchar_t* face : {L"SimSun", L"Microsoft YaHei"}) {
        std::wstring found = EnumeratedFace(face, kChineseCharset);
        if (!found.empty()) {
            result.face = found;
            return result;
        }
    }
    return result;
}

}  // namespace

const FontFace& DefaultFontFace() {
    static const FontFace face = ComputeDefaultFace();
    return face;
}

bool FontFaceExists(const wchar_t* face) {
    return face && *face && !EnumeratedFace(face, DEFAULT_CHARSET).empty();
}

FontInfo* FontInfo::Create() {
    return Create(FontDescription());
}

FontInfo* FontInfo::Create(const FontDescription& description) {
    return new (std::nothrow) FontInfo(description);
}

FontInfo::~FontInfo() {
    if (font_) {
        DeleteObject(font_);
    }
}

int32_t FontInfo::AddRef() {
    return ++references_;
}

int32_t FontInfo::Release() {
    const int32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

void FontInfo::SetDescription(const FontDescription& description) {
    description_ = description;
    if (font_) {
        DeleteObject(font_);
        font_ = nullptr;
    }
}

void FontInfo::SetHeight(int32_t pixels) {
    FontDescription d = description_;
    d.height = pixels;
    SetDescription(d);
}

void FontInfo::SetUnderline(bool underline) {
    FontDescription d = description_;
    d.underline = underline ? 1 : 0;
    SetDescription(d);
}

HFONT FontInfo::Handle() {
    if (font_) {
        return font_;
    }
    const FontDescription& d = description_;
    LOGFONTW lf = {};
    lf.lfHeight = -d.height;
    lf.lfWidth = d.width;
    lf.lfEscapement = d.escapement;
    lf.lfOrientation = d.orientation;
    lf.lfWeight = d.weight;
    lf.lfItalic = d.italic;
    lf.lfUnderline = d.underline;
    lf.lfStrikeOut = d.strike_out;
    lf.lfCharSet = d.charset;
    lf.lfOutPrecision = d.out_precision;
    lf.lfClipPrecision = d.clip_precision;
    lf.lfQuality = d.quality;
    lf.lfPitchAndFamily = d.pitch_and_family;
    const std::wstring face =
        !d.face.empty() && FontFaceExists(d.face.c_str()) ? d.face : DefaultFontFace().face;
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&lf);
    return font_;
}

FontInfo* DefaultFontInfo() {
    // Lives to the end of the process, like the other skin singletons.
    static FontInfo* font = FontInfo::Create();
    return font;
}

}  // namespace qm::skin
