#include "skin/stretch_image.h"

#include <new>
#include <string>

namespace qm::skin {
namespace {

std::string Num(int32_t v) {
    return std::to_string(v);
}
std::string Minus(const char* name, int32_t v) {
    return std::string(name) + "-" + Num(v);
}

// Marker positions along row 0 (vertical false) or column 0 (true).
std::vector<int32_t> MarkersAlong(const Bitmap* b, bool vertical, int32_t at = 0) {
    std::vector<int32_t> found;
    const int32_t n = vertical ? b->height() : b->width();
    for (int32_t i = 0; i < n; ++i) {
        if (vertical ? IsMarkerPixel(b, at, i) : IsMarkerPixel(b, i, at)) {
            found.push_back(i);
        }
    }
    return found;
}

// A rectangle along the cut direction: [from, to) across the whole other side.
RECT Band(const Bitmap* b, bool vertical, int32_t from, int32_t to) {
    return vertical ? MakeRect(0, from, b->width(), to) : MakeRect(from, 0, to, b->height());
}

}  // namespace

bool IsMarkerPixel(const Bitmap* bitmap, int32_t x, int32_t y) {
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width() || y >= bitmap->height()) {
        return false;
    }
    if (bitmap->format() != kBitmapBgra32 && bitmap->format() != kBitmapBgr24) {
        return false;
    }
    const uint8_t* p = bitmap->Row(y) + static_cast<ptrdiff_t>(x) * bitmap->BytesPerPixel();
    return p[0] == 255 && p[1] == 0 && p[2] == 255;
}

SliceRegion::SliceRegion(const SliceRegion& o)
    : source_(o.source_), box_(o.box_), destination_(o.destination_), view_(o.view_) {
    if (view_) {
        view_->AddRef();
    }
}

SliceRegion& SliceRegion::operator=(const SliceRegion& o) {
    if (this != &o) {
        if (o.view_) {
            o.view_->AddRef();
        }
        if (view_) {
            view_->Release();
        }
        source_ = o.source_;
        box_ = o.box_;
        destination_ = o.destination_;
        view_ = o.view_;
    }
    return *this;
}

SliceRegion::~SliceRegion() {
    if (view_) {
        view_->Release();
    }
}

StretchImage* StretchImage::Create(int32_t type, int32_t option) {
    if (type < kStretchWhole || type > kStretchTile) {
        return nullptr;
    }
    return new (std::nothrow) StretchImage(type, option);
}

StretchImage::~StretchImage() {
    regions_.clear();
    if (source_) {
        source_->Release();
    }
}

int32_t StretchImage::AddRef() {
    return ++references_;
}

int32_t StretchImage::Release() {
    const int32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

int StretchImage::SetSource(Bitmap* source) {
    if (source) {
        source->AddRef();
    }
    if (source_) {
        source_->Release();
    }
    source_ = source;
    has_target_ = false;
    if (type_ == kStretchManual) {
        // The caller's regions stay; their views now look into the new source.
        std::vector<SliceRegion> kept;
        kept.swap(regions_);
        // A region that does not fit the new source is dropped.
        for (SliceRegion& r : kept) {
            if (r.view_) {
                r.view_->Release();
                r.view_ = nullptr;
            }
            if (source_) {
                r.view_ = Bitmap::CreateView(source_, r.source_);
                if (!r.view_) {
                    continue;
                }
            }
            regions_.push_back(r);
        }
        return source_ ? 1 : 0;
    }
    regions_.clear();
    if (!source_) {
        return 0;
    }
    if (!GenerateRegions()) {
        regions_.clear();
        return 0;
    }
    return 1;
}

int StretchImage::AddRegion(const RECT& source, std::string_view x, std::string_view y,
                            std::string_view width, std::string_view height) {
    return Add(source, x, y, width, height) ? 1 : 0;
}

bool StretchImage::Add(const RECT& source, std::string_view x, std::string_view y,
                       std::string_view w, std::string_view h) {
    SliceRegion region;
    region.source_ = source;
    if (!region.box_.Compile(x, y, w, h)) {
        return false;
    }
    if (source_) {
        region.view_ = Bitmap::CreateView(source_, source);
        if (!region.view_) {
            return false;
        }
    }
    regions_.push_back(region);
    has_target_ = false;
    return true;
}

void StretchImage::SetTarget(const RECT& target) {
    if (has_target_ && RectEquals(target, target_)) {
        return;
    }
    target_ = target;
    has_target_ = true;
    const ExpressionVariables vars =
        ExpressionVariables::FromRect(target.left, target.top, target.right, target.bottom);
    for (SliceRegion& r : regions_) {
        const ExpressionBoxValue& v = r.box_.Resolve(vars);
        r.destination_ = MakeRect(target.left + v.x, target.top + v.y, target.left + v.x + v.width,
                                  target.top + v.y + v.height);
    }
}

bool StretchImage::GenerateRegions() {
    switch (type_) {
        case kStretchWhole:
            return Add(source_->Bounds(), "0", "0", "width", "height");
        case kStretchNineGrid:
            return GenerateNine();
        case kStretchThreeHorizontal:
            return GenerateThree(false);
        case kStretchThreeVertical:
            return GenerateThree(true);
        case kStretchFiveHorizontal:
            return GenerateFive(false);
        case kStretchFiveVertical:
            return GenerateFive(true);
        case kStretchTile:
            return true;
        default:
            return false;
    }
}

bool StretchImage::AddBands(bool vertical, int count, const int32_t* from, const int32_t* to,
                            const std::string* pos, const std::string* len) {
    const std::string across = vertical ? "width" : "height";
    for (int k = 0; k < count; ++k) {
        if (from[k] >= to[k]) {
            continue;
        }
        const RECT src = Band(source_, vertical, from[k], to[k]);
        const bool ok = vertical ? Add(src, "0", pos[k], across, len[k])
                                 : Add(src, pos[k], "0", len[k], across);
        if (!ok) {
            return false;
        }
    }
    return !regions_.empty();
}

// Three parts: the ends keep their size and the middle stretches, or with
// kStretchCentreMiddle the middle keeps its size, centred, and the ends share
// the rest. Pieces with no source pixels are left out.
bool StretchImage::GenerateThree(bool vertical) {
    const std::vector<int32_t> m = MarkersAlong(source_, vertical);
    if (m.size() < 2) {
        return false;
    }
    const int32_t j = m.front();
    const int32_t i = m.back();
    const int32_t size = vertical ? source_->height() : source_->width();
    // The middle must have pixels to stretch.
    if (j + 1 >= i) {
        return false;
    }
    const char* side = vertical ? "height" : "width";
    const int32_t end = size - i - 1;
    std::string pos[3], len[3];
    if (option_ & kStretchCentreMiddle) {
        const int32_t mid = i - j - 1;
        const std::string half = "(" + Minus(side, mid) + ")/2";
        pos[0] = "0";
        len[0] = half;
        pos[1] = half;
        len[1] = Num(mid);
        pos[2] = half + "+" + Num(mid);
        len[2] = std::string(side) + "-" + half + "-" + Num(mid);
    } else {
        pos[0] = "0";
        len[0] = Num(j);
        pos[1] = Num(j);
        len[1] = Minus(side, j + end);
        pos[2] = Minus(side, end);
        len[2] = Num(end);
    }
    const int32_t from[3] = {0, j + 1, i + 1};
    const int32_t to[3] = {j, i, size};
    return AddBands(vertical, 3, from, to, pos, len);
}

// Five parts: both ends and the centre piece keep their size; the two pieces
// between share what is left, the second taking the odd pixel.
bool StretchImage::GenerateFive(bool vertical) {
    const std::vector<int32_t> m = MarkersAlong(source_, vertical);
    if (m.size() != 4) {
        return false;
    }
    for (int k = 1; k < 4; ++k) {
        if (m[k] <= m[k - 1] + 1) {
            return false;
        }
    }
    const int32_t size = vertical ? source_->height() : source_->width();
    const char* side = vertical ? "height" : "width";
    const int32_t m1 = m[0], m2 = m[1], m3 = m[2], m4 = m[3];
    const int32_t centre = m3 - m2 - 1;
    const int32_t end = size - m4 - 1;
    const int32_t fixed = m1 + centre + end;
    const std::string half = "(" + Minus(side, fixed) + ")/2";
    const std::string pos[5] = {"0", Num(m1), Num(m1) + "+" + half, Num(m1 + centre) + "+" + half,
                                Minus(side, end)};
    const std::string len[5] = {Num(m1), half, Num(centre), Minus(side, fixed) + "-" + half,
                                Num(end)};
    const int32_t from[5] = {0, m1 + 1, m2 + 1, m3 + 1, m4 + 1};
    const int32_t to[5] = {m1, m2, m3, m4, size};
    return AddBands(vertical, 5, from, to, pos, len);
}

bool StretchImage::GenerateNine() {
    const int32_t W = source_->width();
    const int32_t H = source_->height();
    const std::vector<int32_t> cols = MarkersAlong(source_, false);
    const std::vector<int32_t> rows = MarkersAlong(source_, true);
    if (cols.size() < 2 || rows.size() < 2) {
        return false;
    }
    const int32_t x1 = cols.front(), x2 = cols.back();
    const int32_t y1 = rows.front(), y2 = rows.back();
    if (x1 >= x2 || y1 >= y2 || y1 + 1 >= H || x1 + 1 >= W) {
        return false;
    }
    // Where the inner edges are cut: the markers one line inside the first
    // grid lines (the same as the grid lines when those cross the image).
    const std::vector<int32_t> inner_cols = MarkersAlong(source_, false, y1 + 1);
    const std::vector<int32_t> inner_rows = MarkersAlong(source_, true, x1 + 1);
    if (inner_cols.size() < 2 || inner_rows.size() < 2) {
        return false;
    }
    const int32_t k = inner_cols.front(), h = inner_cols.back();
    const int32_t l = inner_rows.front(), o = inner_rows.back();
    if (k >= h || l >= o) {
        return false;
    }
    struct Part {
        int32_t skip;
        RECT source;
        std::string x, y, w, h;
    };
    const std::string mid_h = Minus("height", y1 + H - y2 - 1);
    const Part parts[9] = {
        {kNineTopLeft, {0, 0, x1, y1}, "0", "0", Num(x1), Num(y1)},
        {kNineTop, {x1 + 1, 0, x2, l}, Num(x1), "0", Minus("width", x1 + W - x2 - 1), Num(l)},
        {kNineTopRight,
         {x2 + 1, 0, W, y1},
         Minus("width", W - x2 - 1),
         "0",
         Num(W - x2 - 1),
         Num(y1)},
        {kNineLeft, {0, y1 + 1, k, y2}, "0", Num(y1), Num(k), mid_h},
        {kNineCentre,
         {k + 1, y1 + 1, h, y2},
         Num(k),
         Num(y1),
         Minus("width", k + W - h - 1),
         mid_h},
        {kNineRight,
         {h + 1, y1 + 1, W, y2},
         Minus("width", W - h - 1),
         Num(y1),
         Num(W - h - 1),
         mid_h},
        {kNineBottomLeft,
         {0, y2 + 1, x1, H},
         "0",
         Minus("height", H - y2 - 1),
         Num(x1),
         Num(H - y2 - 1)},
        {kNineBottom,
         {x1 + 1, o + 1, x2, H},
         Num(x1),
         Minus("height", H - o - 1),
         Minus("width", x1 + W - x2 - 1),
         Num(H - o - 1)},
        {kNineBottomRight,
         {x2 + 1, y2 + 1, W, H},
         Minus("width", W - x2 - 1),
         Minus("height", H - y2 - 1),
         Num(W - x2 - 1),
         Num(H - y2 - 1)},
    };
    for (const Part& p : parts) {
        if ((option_ & p.skip) || RectIsEmpty(p.source)) {
            continue;
        }
        if (!Add(p.source, p.x, p.y, p.w, p.h)) {
            return false;
        }
    }
    return !regions_.empty();
}

}  // namespace qm::skin
