// Images whose parts are placed inside a target rectangle by small integer
// expressions: stretched whole, cut into three, five or nine parts at magenta
// marker pixels, tiled, or cut by the caller. Portable.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "skin/bitmap.h"
#include "skin/expression.h"

namespace qm::skin {

enum StretchType : int32_t {
    kStretchWhole = 0,
    kStretchManual = 1,
    kStretchNineGrid = 2,
    kStretchThreeHorizontal = 3,
    kStretchThreeVertical = 4,
    kStretchFiveHorizontal = 5,
    kStretchFiveVertical = 6,
    kStretchTile = 7,
};

// Option bits. Three-part images: the middle keeps its size and is centred.
constexpr int32_t kStretchCentreMiddle = 0x1;
// Nine-grid images: a set bit leaves that part out.
constexpr int32_t kNineTopLeft = 0x1, kNineTop = 0x2, kNineTopRight = 0x4, kNineLeft = 0x8,
                  kNineRight = 0x10, kNineBottomLeft = 0x20, kNineBottom = 0x40,
                  kNineBottomRight = 0x80, kNineCentre = 0x100;

// A marker pixel: B 255, G 0, R 255, whatever its alpha.
bool IsMarkerPixel(const Bitmap* bitmap, int32_t x, int32_t y);

class SliceRegion {
  public:
    SliceRegion() = default;
    SliceRegion(const SliceRegion& o);
    SliceRegion& operator=(const SliceRegion& o);
    ~SliceRegion();

    const RECT& source() const { return source_; }
    // The view of the source rectangle; null until the region is attached
    // to a source bitmap.
    Bitmap* view() const { return view_; }
    // Destination relative to the surface, as of the last target.
    const RECT& destination() const { return destination_; }
    int evaluations() const { return box_.evaluations(); }

  private:
    friend class StretchImage;
    RECT source_;
    ExpressionBox box_;
    RECT destination_;
    Bitmap* view_ = nullptr;
};

class StretchImage {
  public:
    // A new image with reference count 1, no source and no regions; null for
    // an unknown type.
    static StretchImage* Create(int32_t type, int32_t option = 0);

    StretchImage(const StretchImage&) = delete;
    StretchImage& operator=(const StretchImage&) = delete;

    int32_t AddRef();
    int32_t Release();

    // Takes a reference to source and generates the type's regions. Returns 1,
    // or 0 when the markers the type needs are missing (no regions remain
    // then; manual regions are kept for type 1 only).
    int SetSource(Bitmap* source);
    // A caller-made region (type 1): source rectangle inside the source
    // bitmap and four expressions relative to the target's top-left corner.
    // Returns 1, or 0 for an expression that does not compile or a rectangle
    // outside the source.
    int AddRegion(const RECT& source, std::string_view x, std::string_view y,
                  std::string_view width, std::string_view height);

    // Places the regions for a target; expressions run only when the target
    // differs from the last one.
    void SetTarget(const RECT& target);

    int32_t type() const { return type_; }
    int32_t option() const { return option_; }
    Bitmap* source() const { return source_; }
    const RECT& target() const { return target_; }
    const std::vector<SliceRegion>& regions() const { return regions_; }

    // Tiles are laid on a grid through this point (surface coordinates), so
    // that separately drawn tiled areas line up.
    void SetTileOrigin(int32_t x, int32_t y) {
        tile_x_ = x;
        tile_y_ = y;
    }
    int32_t tile_x() const { return tile_x_; }
    int32_t tile_y() const { return tile_y_; }

  private:
    StretchImage(int32_t type, int32_t option) : type_(type), option_(option) {}
    ~StretchImage();

    bool Add(const RECT& source, std::string_view x, std::string_view y, std::string_view w,
             std::string_view h);
    bool GenerateRegions();
    // One region per non-empty band [from[k], to[k]) of the source along one
    // axis, placed at pos[k] with length len[k] and spanning the other axis.
    bool AddBands(bool vertical, int count, const int32_t* from, const int32_t* to,
                  const std::string* pos, const std::string* len);
    bool GenerateThree(bool vertical);
    bool GenerateFive(bool vertical);
    bool GenerateNine();

    int32_t type_;
    int32_t option_;
    Bitmap* source_ = nullptr;
    RECT target_;
    bool has_target_ = false;
    std::vector<SliceRegion> regions_;
    int32_t tile_x_ = 0;
    int32_t tile_y_ = 0;
    std::atomic<int32_t> references_{1};
};

}  // namespace qm::skin
