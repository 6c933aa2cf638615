// skin-render OUT.png: draws a sample of the skin (the main window and a
// message box as the client builds them, every state strip, stretch images
// at several sizes, text in Chinese and Latin at several sizes and colours
// over transparent and opaque areas, fills and gradients, and a panel of the
// standard controls in each of their states, built and painted as a window
// paints its tree) with the client's own image, text and fill code, and
// writes the surface to a PNG for review.
// Images are loaded as the client loads them: "images\..." relative to the
// current folder.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "skin/gdiplus.h"

#include "skin/bitmap.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/font.h"
#include "skin/image_cache.h"
#include "skin/image_strip.h"
#include "skin/png_codec.h"
#include "skin/progress_control.h"
#include "skin/raster/fill.h"
#include "skin/standard_controls.h"
#include "skin/stretch_image.h"
#include "skin/surface.h"
#include "skin/text.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"

using namespace qm::skin;

namespace {

int g_missing = 0;

Bitmap* Image(const wchar_t* path) {
    Bitmap* b = GetBitmap(path);
    if (!b) {
        std::fwprintf(stderr, L"skin-render: cannot load %ls\n", path);
        ++g_missing;
    }
    return b;
}

void Stretch(Bitmap* surface, const wchar_t* path, int type, RECT r) {
    StretchImage* s = GetStretchImage(path, type);
    if (!s) {
        std::fwprintf(stderr, L"skin-render: no stretch image for %ls\n", path);
        ++g_missing;
        return;
    }
    DrawStretchImage(surface, s, r);
}

// Frame i of a strip, plain (scaled into r when sizes differ).
void Frame(Bitmap* surface, ImageStrip& strip, int i, RECT r) {
    Ref<Bitmap> f = Ref<Bitmap>::Adopt(strip.FrameBitmap(i));
    if (f) {
        DrawBitmap(surface, f.get(), r);
    } else {
        ++g_missing;
    }
}

// Frame i of a strip as a three-part stretch image.
void FrameStretched(Bitmap* surface, ImageStrip& strip, int i, RECT r) {
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(strip.FrameStretch(i, kStretchThreeHorizontal));
    if (s) {
        DrawStretchImage(surface, s.get(), r);
    } else {
        ++g_missing;
    }
}

struct Text {
    TextRenderer renderer;
    Text(uint32_t colour, int height) {
        renderer.SetColour(colour);
        if (height != 12) {
            Ref<FontInfo> f = Ref<FontInfo>::Adopt(FontInfo::Create());
            f->SetHeight(height);
            renderer.SetFont(f.get());
        }
    }
    void Draw(Bitmap* s, const wchar_t* text, RECT r, uint32_t format = 4, bool multi = false) {
        renderer.DrawText(s, text, static_cast<int>(wcslen(text)), r, format, multi);
    }
};

qm::raster::Surface Area(Bitmap* s, RECT r) {
    return qm::raster::Surface{0, RectWidth(r), RectHeight(r), s->stride(),
                               s->Row(r.top) + r.left * 4};
}

void Fill(Bitmap* s, RECT r, int kind, uint32_t c1, uint32_t c2, int x1, int y1, int x2, int y2,
          uint8_t opacity = 255) {
    qm::raster::Surface area = Area(s, r);
    qm::raster::Paint p{opacity, kind, c1, c2, x1, y1, x2, y2};
    qm::raster::fill_with_colour_alpha(&area, &p, 1);
}

// The main window as the client lays it out (469 x 374), at (ox, oy).
void MainWindowSample(Bitmap* s, int ox, int oy) {
    auto R = [&](int l, int t, int r, int b) { return MakeRect(ox + l, oy + t, ox + r, oy + b); };
    const int W = 469, H = 374;
    Stretch(s, L"images\\framebkg.png", kStretchNineGrid, R(0, 0, W, H));
    Text(0xFFFFFFFF, 12)
        .Draw(s, L"\x661f\x6d77\x4f20\x8bf4\x9ad8\x901f\x4e0b\x8f7d\x5668", R(10, 0, 180, 30));
    if (Bitmap* sep = Image(L"images\\syssep.png")) {
        DrawBitmap(s, sep, R(W - 79, 1, W - 76, 22));
        DrawBitmap(s, sep, R(W - 43, 1, W - 40, 22));
    }
    ImageStrip mini(L"images\\mini.png", 3), close(L"images\\close.png", 3);
    Frame(s, mini, 0, R(W - 76, 1, W - 43, 22));
    Frame(s, close, 1, R(W - 40, 1, W - 1, 22));  // hovered
    if (Bitmap* art = Image(L"images\\bkg1.png")) {
        DrawBitmap(s, art, R(5, 30, W - 4, 230));
    }
    // The bottom panel and its children, in panel coordinates.
    const int px = 4, py = H - 144, pw = W - 7, ph = 140;
    auto P = [&](int l, int t, int r, int b) { return R(px + l, py + t, px + r, py + b); };
    Stretch(s, L"images\\framebkgbottom.png", kStretchThreeHorizontal, P(0, 0, pw, ph));
    ImageStrip dir(L"images\\dirbkg.png", 5);
    FrameStretched(s, dir, 0, P(8, 13, pw - 98, 42));
    Text(0xFFFFFFFF, 12)
        .Draw(s, L"C:\\downloads\\\x661f\x6d77\x4f20\x8bf4", P(14, 13, pw - 98, 42));
    FrameStretched(s, dir, 1, P(pw - 86, 13, pw - 8, 42));
    Text(0xFFFFFFFF, 12).Draw(s, L"\x66f4\x6539\x76ee\x5f55", P(pw - 86, 13, pw - 8, 42), 5);
    Text(0xFFFFFFFF, 12)
        .Draw(s, L"\x6b63\x5728\x4e0b\x8f7d\xff1a 61.5%  (1.23 GB / 2.00 GB)", P(8, 45, pw - 8, 75),
              4);
    Text(0xFFFFFFFF, 12).Draw(s, L"3.2 MB/s  \x5269\x4f59 4 \x5206\x949f", P(8, 45, pw - 8, 75), 6);
    ImageStrip progress(L"images\\progress.png", 2);
    FrameStretched(s, progress, 0, P(8, 75, pw - 8, 91));
    FrameStretched(s, progress, 1, P(8, 75, 8 + (pw - 16) * 615 / 1000, 91));
    ImageStrip check(L"images\\checkbox.png", 5);
    const RECT box = P(8, ph - 34 + 1, 22, ph - 34 + 15);
    Frame(s, check, 0, box);
    Frame(s, check, 4, box);
    Text(0xFFFFFFFF, 12)
        .Draw(s, L"\x540c\x65f6\x5b89\x88c5\x6e38\x620f\x52a0\x901f\x5668",
              P(24, ph - 34, 200, ph - 18));
    ImageStrip b1(L"images\\button1.png", 4), b2(L"images\\button2.png", 4);
    FrameStretched(s, b1, 0, P(pw - 215, ph - 41, pw - 105, ph - 8));
    Text(0xFFFFFFFF, 12)
        .Draw(s, L"\x5207\x6362Torvane7\x4e0b\x8f7d", P(pw - 215, ph - 41, pw - 105, ph - 8), 5);
    FrameStretched(s, b2, 0, P(pw - 98, ph - 41, pw - 8, ph - 8));
    Text(0xFFFFFFFF, 14)
        .Draw(s, L"\x5f00\x59cb\x4e0b\x8f7d", P(pw - 98, ph - 41, pw - 8, ph - 8), 5);
}

// A two-button message box (350 x 180) with the warning icon, at (ox, oy).
void MessageBoxSample(Bitmap* s, int ox, int oy) {
    auto R = [&](int l, int t, int r, int b) { return MakeRect(ox + l, oy + t, ox + r, oy + b); };
    const int W = 350, H = 180;
    Stretch(s, L"images\\framebkg.png", kStretchNineGrid, R(0, 0, W, H));
    Text(0xFFFFFFFF, 12).Draw(s, L"\x63d0\x793a", R(10, 0, 180, 30));
    if (Bitmap* sep = Image(L"images\\syssep.png")) {
        DrawBitmap(s, sep, R(W - 43, 1, W - 40, 22));
    }
    ImageStrip close(L"images\\close.png", 3), icon(L"images\\msgbox_icon.png", 2);
    Frame(s, close, 0, R(W - 40, 1, W - 1, 22));
    Frame(s, icon, 1, R(20, 50, 72, 104));
    Text(0xFFFFFFFF, 14)
        .Draw(s,
              L"\x78c1\x76d8\x7a7a\x95f4\x4e0d\x8db3\xff0c\x8bf7\x5220\x9664\x90e8"
              L"\x5206\x6587\x4ef6\x6216\x66f4\x6539\x4fdd\x5b58\x8def\x5f84\x3002",
              R(85, 40, W - 20, 114), 4, true);
    ImageStrip b1(L"images\\button1.png", 4);
    FrameStretched(s, b1, 1, R(77, H - 55, 167, H - 20));  // hovered
    Text(0xFFFFFFFF, 12).Draw(s, L"\x786e\x5b9a", R(77, H - 55, 167, H - 20), 5);
    FrameStretched(s, b1, 0, R(W - 167, H - 55, W - 77, H - 20));
    Text(0xFFFFFFFF, 12).Draw(s, L"\x53d6\x6d88", R(W - 167, H - 55, W - 77, H - 20), 5);
}

// The exit-choice options (radio strip) in a small dialog body.
void RadioSample(Bitmap* s, int ox, int oy) {
    Stretch(s, L"images\\framebkg.png", kStretchNineGrid, MakeRect(ox, oy, ox + 350, oy + 130));
    Text(0xFFFFFFFF, 12).Draw(s, L"\x63d0\x793a", MakeRect(ox + 10, oy, ox + 180, oy + 30));
    ImageStrip radio(L"images\\radiobutton.png", 5);
    const wchar_t* captions[] = {L"\x540e\x53f0\x4f4e\x901f\x4e0b\x8f7d",
                                 L"\x5c06\x4efb\x52a1\x79fb\x81f3Torvane7",
                                 L"\x9000\x51fa\x4e0b\x8f7d\x5668"};
    for (int i = 0; i < 3; ++i) {
        const int top = oy + 44 + 24 * i;
        const RECT box = MakeRect(ox + 20, top + 1, ox + 34, top + 15);
        Frame(s, radio, i == 1 ? 3 : 0, box);  // the second one hovered
        if (i == 0) {
            Frame(s, radio, 1, box);
        }
        Text(0xFFFFFFFF, 12).Draw(s, captions[i], MakeRect(ox + 38, top, ox + 220, top + 16));
    }
}

// Every strip at 1:1 with its frames, and stretch images at several sizes.
void StripSample(Bitmap* s, int ox, int oy) {
    struct Entry {
        const wchar_t* path;
        int frames;
    } strips[] = {{L"images\\close.png", 3},      {L"images\\mini.png", 3},
                  {L"images\\max.png", 3},        {L"images\\restore.png", 3},
                  {L"images\\checkbox.png", 5},   {L"images\\radiobutton.png", 5},
                  {L"images\\msgbox_icon.png", 2}};
    // On the title bar's colour, as the caption buttons appear.
    Fill(s, MakeRect(ox, oy, ox + 430, oy + 36), qm::raster::kPaintSolid, 0xFF222C40, 0, 0, 0, 0,
         0);
    int x = ox + 6;
    for (const Entry& e : strips) {
        ImageStrip strip(e.path, e.frames);
        Bitmap* whole = strip.bitmap();
        if (!whole) {
            ++g_missing;
            continue;
        }
        if (whole->height() > 30) {
            break;
        }
        for (int i = 0; i < e.frames; ++i) {
            Ref<Bitmap> f = Ref<Bitmap>::Adopt(strip.FrameBitmap(i));
            if (!f) {
                continue;
            }
            DrawBitmap(s, f.get(), MakeRect(x, oy + 7, x + f->width(), oy + 7 + f->height()));
            x += f->width() + 3;
        }
        x += 8;
    }
    ImageStrip icon(L"images\\msgbox_icon.png", 2);
    Frame(s, icon, 0, MakeRect(ox, oy + 44, ox + 52, oy + 98));
    Frame(s, icon, 1, MakeRect(ox + 56, oy + 44, ox + 108, oy + 98));
    // Buttons of each strip and state at three widths.
    ImageStrip b1(L"images\\button1.png", 4), b2(L"images\\button2.png", 4),
        dir(L"images\\dirbkg.png", 5);
    const wchar_t* states[] = {L"\x666e\x901a", L"\x60ac\x505c", L"\x6309\x4e0b", L"\x7981\x7528"};
    int y = oy + 44;
    for (int i = 0; i < 4; ++i) {
        const int widths[] = {40, 90, 150};
        int bx = ox + 120;
        for (int w : widths) {
            const RECT r = MakeRect(bx, y, bx + w, y + 33);
            FrameStretched(s, i < 2 ? b2 : b1, i, r);
            Text(i == 3 ? 0xFF8A94A6 : 0xFFFFFFFF, 12).Draw(s, states[i], r, 5);
            bx += w + 8;
        }
        FrameStretched(s, dir, i + 1, MakeRect(bx, y + 2, bx + 78, y + 31));
        y += 38;
    }
    FrameStretched(s, b1, 1, MakeRect(ox + 120, y, ox + 210, y + 35));
    FrameStretched(s, b2, 2, MakeRect(ox + 218, y, ox + 308, y + 35));
    FrameStretched(s, b2, 3, MakeRect(ox + 316, y, ox + 406, y + 35));
    // The nine-grid frame at small sizes, and progress bars at several fills.
    Stretch(s, L"images\\framebkg.png", kStretchNineGrid,
            MakeRect(ox, oy + 110, ox + 40, oy + 150));
    Stretch(s, L"images\\framebkg.png", kStretchNineGrid,
            MakeRect(ox, oy + 156, ox + 100, oy + 230));
    ImageStrip progress(L"images\\progress.png", 2);
    for (int i = 0; i < 4; ++i) {
        const int top = oy + 250 + 22 * i;
        FrameStretched(s, progress, 0, MakeRect(ox, top, ox + 400, top + 16));
        const int fill = 16 + (400 - 16) * i / 3;
        FrameStretched(s, progress, 1, MakeRect(ox, top, ox + fill, top + 16));
    }
}

void TextSample(Bitmap* s, int ox, int oy) {
    // Left half transparent, right half opaque light grey.
    Fill(s, MakeRect(ox + 440, oy, ox + 880, oy + 200), qm::raster::kPaintSolid, 0xFFE9ECF1, 0, 0,
         0, 0, 0);
    const int sizes[] = {12, 14, 18, 24};
    const uint32_t colours[] = {0xFFFFFFFF, 0xFFFFD75A, 0xFF2F7BF5, 0x99FFFFFF};
    int y = oy + 4;
    for (int i = 0; i < 4; ++i) {
        Text t(colours[i], sizes[i]);
        t.Draw(s, L"\x6e38\x620f\x4e0b\x8f7d Download 123", MakeRect(ox + 4, y, ox + 436, y + 40));
        Text dark(i == 0                     ? 0xFF000000
                  : colours[i] == 0xFFFFFFFF ? 0xFF222222
                                             : colours[i],
                  sizes[i]);
        dark.Draw(s, L"\x6e38\x620f\x4e0b\x8f7d Download 123",
                  MakeRect(ox + 444, y, ox + 876, y + 40));
        y += sizes[i] + 16;
    }
    Text wrap(0xFF1B2230, 12);
    wrap.Draw(s,
              L"Multi-line text wraps at the rectangle's width: \x8fd9\x662f\x4e00\x6bb5\x4f1a"
              L"\x81ea\x52a8\x6362\x884c\x7684\x4e2d\x6587\x6587\x5b57\x3002",
              MakeRect(ox + 444, y, ox + 700, y + 60), 0, true);
}

void FillSample(Bitmap* s, int ox, int oy) {
    using namespace qm::raster;
    Fill(s, MakeRect(ox, oy, ox + 120, oy + 80), kPaintSolid, 0xFF2F7BF5, 0, 0, 0, 0, 0);
    Fill(s, MakeRect(ox + 20, oy + 20, ox + 100, oy + 60), kPaintSolid, 0x80FFFFFF, 0, 0, 0, 0, 0);
    Fill(s, MakeRect(ox + 130, oy, ox + 330, oy + 80), kPaintLinear, 0xFF0B1530, 0xFF5A8CFF, 20, 0,
         180, 0);
    Fill(s, MakeRect(ox + 340, oy, ox + 460, oy + 80), kPaintLinear, 0xFFF5A623, 0x00F5A623, 0, 0,
         120, 80);
    Fill(s, MakeRect(ox + 470, oy, ox + 590, oy + 80), kPaintRadial, 0xFFFFFFFF, 0x002F7BF5, 60, 40,
         60, 0);
    Fill(s, MakeRect(ox + 600, oy, ox + 720, oy + 80), kPaintLinear, 0xFF1B2230, 0xFF3A4A66, 0, 0,
         0, 80);
}

// A tree of real controls under a root placed at (ox, oy) on the canvas.
class Tree {
  public:
    Tree(int ox, int oy, int w, int h) : ox_(ox), oy_(oy) {
        CreateControl(kLayoutControlType, &root_);
        const RECT r = MakeRect(ox, oy, ox + w, oy + h);
        root_->SetLayout("absolute", &r);
    }
    ~Tree() {
        root_->Destroy();
        root_->Release();
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // A control at (l, t, r, b) inside the root; the tree holds it.
    template <class T>
    T* Add(int32_t type, const char* name, int l, int t, int r, int b) {
        Control* c = nullptr;
        if (!CreateControl(type, &c)) {
            ++g_missing;
            return nullptr;
        }
        const RECT offsets = MakeRect(l, t, r, b);
        c->SetName(name);
        c->SetLayout("relative:ltlt", &offsets);
        root_->AddChild(c);
        c->Release();
        return dynamic_cast<T*>(c);
    }
    void Layout(Bitmap* s) { root_->Layout(s->Bounds()); }
    void Paint(Bitmap* s) { root_->Paint(s); }
    // Mouse events in panel coordinates, dispatched as a window does.
    void Move(int x, int y) { root_->OnMouseMove(0, ox_ + x, oy_ + y); }
    void Down(int x, int y) { root_->OnLButtonDown(MK_LBUTTON, ox_ + x, oy_ + y); }

  private:
    Control* root_ = nullptr;
    int ox_, oy_;
};

// The application's pattern for each control's images.
void Skin(ButtonControl* b) {
    ImageStrip strip(L"images\\button1.png", 4);
    for (int i = 0; i < 4; ++i) {
        Ref<StretchImage> f =
            Ref<StretchImage>::Adopt(strip.FrameStretch(i, kStretchThreeHorizontal));
        const ImageDescriptor d = ImageDescriptor::FromStretch(f.get());
        i == 0   ? b->SetNormalImage(d)
        : i == 1 ? b->SetHoverImage(d)
        : i == 2 ? b->SetPressedImage(d)
                 : b->SetDisabledImage(d);
    }
}

void Skin(CheckboxControl* c) {
    ImageStrip strip(L"images\\checkbox.png", 5);
    c->SetBoxSize(14);
    for (int i = 0; i < 5; ++i) {
        Ref<Bitmap> f = Ref<Bitmap>::Adopt(strip.FrameBitmap(i));
        i < 4 ? c->SetBoxImage(i, ImageDescriptor::FromBitmap(f.get()))
              : c->SetCheckImage(ImageDescriptor::FromBitmap(f.get()));
    }
}

void Skin(RadioControl* r) {
    ImageStrip strip(L"images\\radiobutton.png", 5);
    r->SetBoxSize(14);
    const int frames[] = {0, 3, 4};
    for (int i = 0; i < 3; ++i) {
        Ref<Bitmap> f = Ref<Bitmap>::Adopt(strip.FrameBitmap(frames[i]));
        r->SetBoxImage(i, ImageDescriptor::FromBitmap(f.get()));
    }
    Ref<Bitmap> mark = Ref<Bitmap>::Adopt(strip.FrameBitmap(1));
    r->SetCheckImage(ImageDescriptor::FromBitmap(mark.get()));
}

ButtonControl* AddButton(Tree& tree, const char* name, const wchar_t* caption, int x, int y) {
    auto* b = tree.Add<ButtonControl>(kButtonControlType, name, x, y, x + 90, y + 33);
    if (b) {
        Skin(b);
        b->SetText(caption);
    }
    return b;
}

// The standard controls in each state, on a dialog body (560 x 250) at
// (ox, oy): buttons normal and focused, hovered, pressed and disabled; check
// boxes checked and focused, clear, and disabled; a radio group with one
// option checked and one hovered; a captioned progress bar; a link; text.
void ControlsSample(Bitmap* s, int ox, int oy) {
    const int W = 560, H = 250;
    Tree tree(ox, oy, W, H);
    auto* title = tree.Add<TextControl>(kTextControlType, "TextTitle", 10, 0, 300, 30);
    title->SetText(L"Tessaly \x63a7\x4ef6");
    title->SetFormat(4);

    ButtonControl* dialog = AddButton(tree, "DialogButton", L"\x5bf9\x8bdd\x6846", 20, 44);
    ButtonControl* disabled = AddButton(tree, "DisabledButton", L"\x7981\x7528", 320, 44);
    dialog->SetFocused(1);
    disabled->SetEnabled(0);
    disabled->Caption()->SetColour(0x8A, 0x94, 0xA6);

    auto* check = tree.Add<CheckboxControl>(kCheckboxControlType, "Check", 20, 92, 160, 112);
    Skin(check);
    check->SetText(L"\x590d\x9009\x6846");
    check->SetChecked(1);
    check->SetFocused(1);
    auto* clear = tree.Add<CheckboxControl>(kCheckboxControlType, "Clear", 180, 92, 300, 112);
    Skin(clear);
    clear->SetText(L"\x672a\x9009\x4e2d");
    auto* off = tree.Add<CheckboxControl>(kCheckboxControlType, "Off", 320, 92, 440, 112);
    Skin(off);
    off->SetText(L"\x7981\x7528");
    off->SetEnabled(0);
    off->Caption()->SetColour(0x8A, 0x94, 0xA6);

    const wchar_t* options[] = {L"\x9009\x9879\x4e00", L"\x9009\x9879\x4e8c",
                                L"\x9009\x9879\x4e09"};
    for (int i = 0; i < 3; ++i) {
        auto* r = tree.Add<RadioControl>(kRadioControlType, "Option", 20 + 110 * i, 122,
                                         120 + 110 * i, 138);
        Skin(r);
        r->SetText(options[i]);
        r->SetChecked(i == 0);
    }

    auto* progress =
        tree.Add<ProgressControl>(kProgressControlType, "Progress", 20, 156, W - 20, 172);
    ImageStrip bar(L"images\\progress.png", 2);
    Ref<StretchImage> back = Ref<StretchImage>::Adopt(bar.FrameStretch(0, kStretchThreeHorizontal));
    Ref<StretchImage> fill = Ref<StretchImage>::Adopt(bar.FrameStretch(1, kStretchThreeHorizontal));
    progress->SetBackgroundImage(ImageDescriptor::FromStretch(back.get()));
    progress->SetFillImage(ImageDescriptor::FromStretch(fill.get()));
    progress->SetRange(0, 400);
    progress->SetPos(120);
    progress->SetText(L"\x4e0b\x8f7d\x4e2d 30%");

    auto* link = tree.Add<TextlinkControl>(kTextlinkControlType, "Link", 20, 186, 80, 204);
    link->SetText(L"\x94fe\x63a5");
    auto* line1 = tree.Add<TextControl>(kTextControlType, "Text1", 100, 186, W - 20, 204);
    line1->SetText(
        L"\x4e0b\x8f7d\x5b8c\x6210\x540e\x70b9\x51fb\x201c\x5f00\x59cb\x5b89\x88c5\x201d"
        L"\x5373\x53ef\x5b89\x88c5\x6e38\x620f\x3002");
    line1->SetFormat(4);
    auto* line2 = tree.Add<TextControl>(kTextControlType, "Text2", 20, 208, W - 20, 240);
    line2->SetText(
        L"\x6e38\x620f\x6587\x4ef6\x901a\x8fc7 P2P \x4e0e HTTP \x540c\x65f6\x4e0b\x8f7d"
        L"\xff0c\x901f\x5ea6\x66f4\x5feb\x3002\x4e0b\x8f7d\x4e2d\x53ef\x968f\x65f6"
        L"\x6682\x505c\x3002");
    line2->SetFormat(0);
    line2->SetMultiline(1);
    line2->SetColour(0xB8, 0xC2, 0xD4);

    // Added last, so painted first: under everything else.
    auto* bkg = tree.Add<ImageControl>(kImageControlType, "ImageBkg", 0, 0, W, H);
    if (StretchImage* frame = GetStretchImage(L"images\\framebkg.png", kStretchNineGrid)) {
        bkg->SetImage(ImageDescriptor::FromStretch(frame));
    } else {
        ++g_missing;
    }
    bkg->SetHitTestCode(2);

    tree.Layout(s);
    tree.Move(130 + 8, 130);  // hovers the second option
    tree.Paint(s);

    // Hovered and pressed buttons: only one control of a tree is under the
    // mouse, so each is a tree of its own beside the first.
    Tree hovered(ox, oy, W, H);
    AddButton(hovered, "HoverButton", L"\x60ac\x505c", 120, 44);
    hovered.Layout(s);
    hovered.Move(120 + 45, 60);
    hovered.Paint(s);
    Tree pressed(ox, oy, W, H);
    AddButton(pressed, "PressedButton", L"\x6309\x4e0b", 220, 44);
    pressed.Layout(s);
    pressed.Move(220 + 45, 60);
    pressed.Down(220 + 45, 60);
    pressed.Paint(s);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: skin-render OUT.png  (run where images\\ is)\n");
        return 2;
    }
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    InitializeImageCache();
    RegisterStandardControls();

    const int W = 1520, H = 1290;
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(W, H));
    Bitmap* s = surface.get();
    // A dark desk under the windows; the text strip below keeps a
    // transparent part.
    Fill(s, MakeRect(0, 0, W, 560), qm::raster::kPaintLinear, 0xFF3C4350, 0xFF2A2F38, 0, 0, 0, 560);
    MainWindowSample(s, 16, 16);
    MessageBoxSample(s, 500, 16);
    RadioSample(s, 500, 210);
    StripSample(s, 870, 16);
    TextSample(s, 16, 580);
    // The transparent half of the text strip again, composited over a dark
    // backdrop: shows that the text's alpha is right where a viewer would
    // show the transparent original as blank.
    Fill(s, MakeRect(900, 580, 1340, 780), qm::raster::kPaintSolid, 0xFF1B2230, 0, 0, 0, 0, 0);
    {
        Ref<Bitmap> strip = Ref<Bitmap>::Adopt(Bitmap::CreateView(s, MakeRect(16, 580, 456, 780)));
        Ref<Bitmap> copy = Ref<Bitmap>::Adopt(CreateSurface(440, 200));
        DrawBitmap(copy.get(), strip.get(), MakeRect(0, 0, 440, 200));
        DrawBitmap(s, copy.get(), MakeRect(900, 580, 1340, 780));
    }
    FillSample(s, 16, 900);
    // The controls on a dark desk of their own.
    Fill(s, MakeRect(0, 1010, W, H), qm::raster::kPaintSolid, 0xFF2A2F38, 0, 0, 0, 0, 0);
    ControlsSample(s, 16, 1024);

    std::vector<uint8_t> png;
    int rc = 0;
    if (!EncodePng(s, &png)) {
        rc = 1;
    } else if (FILE* f = _wfopen(argv[1], L"wb")) {
        rc = std::fwrite(png.data(), 1, png.size(), f) == png.size() ? 0 : 1;
        std::fclose(f);
    } else {
        rc = 1;
    }
    surface = Ref<Bitmap>();
    ShutdownImageCache();
    Gdiplus::GdiplusShutdown(token);
    if (rc) {
        std::fwprintf(stderr, L"skin-render: cannot write %ls\n", argv[1]);
    } else if (g_missing) {
        std::fwprintf(stderr, L"skin-render: %d images missing\n", g_missing);
        rc = 3;
    }
    return rc;
}
