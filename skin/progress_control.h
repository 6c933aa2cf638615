// The progress bar: a background image, a fill image as wide as the
// position's share of the bar, and an optional caption over both. Windows
// only (the caption is GDI text).
#pragma once

#include <cstdint>
#include <string>

#include "skin/composite.h"
#include "skin/image_control.h"

namespace qm::skin {

class TextControl;

class ProgressControl : public Control {
  public:
    ProgressControl();

    // Returns 0 and changes nothing when minimum >= maximum; else 1. The
    // position is held inside the new range.
    int SetRange(uint32_t minimum, uint32_t maximum);
    void GetRange(uint32_t* minimum, uint32_t* maximum) const;
    // Held inside the range; the fill is placed again at once.
    void SetPos(uint32_t position);
    uint32_t GetPos() const { return position_; }
    // The caption; null is taken as empty. Returns 1, or 0 when the inner
    // text cannot be made.
    int SetText(const wchar_t* text);
    const std::wstring& GetText() const { return text_; }
    // Each returns 1, or 0 when the inner image cannot be made. The fill
    // image's own width is the narrowest fill shown: a bar filled less than
    // that shows no fill at all (a stretch image cannot be drawn narrower
    // than its fixed ends).
    int SetBackgroundImage(const ImageDescriptor& image);
    int SetFillImage(const ImageDescriptor& image);

    // The caption's control, for colour and font size; null before SetText.
    TextControl* Caption() const { return text_control_; }
    // Where the fill is drawn and whether it is; for tests and tools.
    RECT FillBounds() const;
    int IsFillVisible() const;

    int Destroy() override;
    int OnAttachWindow(HWND window) override;
    int OnSize(const RECT& bounds) override;
    int Paint(Bitmap* surface) override;

    AccessRole GetAccessRole() const override;
    // The caption when there is one, else the percentage ("30%").
    std::wstring GetAccessValue() const override;

  protected:
    ~ProgressControl() override;

  private:
    bool MakeImages();
    void PlaceFill(const RECT& bounds);

    uint32_t minimum_ = 0;
    uint32_t maximum_ = 100;
    uint32_t position_ = 0;
    uint32_t minimum_fill_width_ = 0;
    std::wstring text_;
    ImageDescriptor slots_[2];
    ImageControl* background_ = nullptr;
    ImageControl* fill_ = nullptr;
    TextControl* text_control_ = nullptr;
};

}  // namespace qm::skin
