// Fill throughput on a 1920 x 1080 surface: the SSE2 table against the plain
// one, and the opaque solid fill against memset of the same bytes. Build it in
// a tree without sanitizers (-DTESSALY_SANITIZE=OFF) for figures that mean
// anything.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "skin/raster/fill.h"

using qm::raster::CoverageMask;
using qm::raster::FillTable;
using qm::raster::Paint;
using qm::raster::Surface;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;
constexpr double kBytes = kPixels * 4;

// Best of several timed rounds, in seconds per call.
double best_seconds(const std::function<void()>& call) {
    using clock = std::chrono::steady_clock;
    call();  // warm the caches and the page tables
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        int calls = 0;
        const auto start = clock::now();
        double elapsed = 0;
        do {
            call();
            ++calls;
            elapsed = std::chrono::duration<double>(clock::now() - start).count();
        } while (elapsed < 0.05);
        best = std::min(best, elapsed / calls);
    }
    return best;
}

struct Bench {
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> coverage;
    Surface surface;
    CoverageMask mask;

    Bench() : pixels(static_cast<size_t>(kWidth) * kHeight), coverage(pixels.size()) {
        std::mt19937 rng(1);
        for (uint32_t& p : pixels) {
            const uint32_t a = rng() % 256;
            p = a << 24 | (rng() % (a + 1)) << 16 | (rng() % (a + 1)) << 8 | (rng() % (a + 1));
        }
        // Glyph-like coverage: mostly empty or full, some edges.
        for (uint8_t& m : coverage) {
            const uint32_t r = rng() % 8;
            m = r < 4 ? 0 : r < 6 ? 255 : static_cast<uint8_t>(rng());
        }
        surface =
            Surface{0, kWidth, kHeight, kWidth * 4, reinterpret_cast<uint8_t*>(pixels.data())};
        mask = CoverageMask{kWidth, kHeight, kWidth, coverage.data()};
    }
};

double mpx(double seconds) {
    return kPixels / seconds / 1e6;
}
double mbs(double seconds) {
    return kBytes / seconds / 1e6;
}

void goal(const char* what, bool met) {
    std::printf("  goal %-52s %s\n", what, met ? "met" : "NOT met");
}

}  // namespace

int main() {
    const FillTable* scalar = qm::raster::scalar_fill_table();
    const FillTable* sse2 = qm::raster::sse2_fill_table();
    if (sse2 == nullptr) {
        std::printf("no SSE2 table on this processor\n");
        return 1;
    }
    Bench b;
    std::printf("surface %d x %d (%.1f MB), best of 7 rounds\n\n", kWidth, kHeight, kBytes / 1e6);

    struct Case {
        const char* name;
        Paint paint;
        int op;  // 0 fill, 1 fill_with_colour_alpha, 2 masked mode 1, 3 masked mode 2
    };
    const Case cases[] = {
        {"solid blend, opacity 128", Paint{128, 0, 0xFF3366CC, 0, 0, 0, 0, 0}, 0},
        {"solid opaque, opacity 255", Paint{255, 0, 0xFF3366CC, 0, 0, 0, 0, 0}, 0},
        {"horizontal gradient, opacity 128", Paint{128, 1, 0xFF000000, 0xFFFFFFFF, 100, 5, 1800, 5},
         0},
        {"horizontal gradient, opacity 255", Paint{255, 1, 0xFF000000, 0xFFFFFFFF, 100, 5, 1800, 5},
         0},
        {"radial gradient, opacity 128", Paint{128, 2, 0xFFFFFFFF, 0xFF102030, 960, 540, 1500, 900},
         0},
        {"radial gradient, opacity 255", Paint{255, 2, 0xFFFFFFFF, 0xFF102030, 960, 540, 1500, 900},
         0},
        {"vertical gradient, opacity 128", Paint{128, 1, 0xFF000000, 0xFFFFFFFF, 5, 0, 5, 1080}, 0},
        {"angled gradient, opacity 128", Paint{128, 1, 0xFF000000, 0xFFFFFFFF, 0, 0, 1920, 1080},
         0},
        {"colour alpha, solid alpha 128", Paint{255, 0, 0x80336699, 0, 0, 0, 0, 0}, 1},
        {"colour alpha, radial", Paint{200, 2, 0xFFFFFFFF, 0x00102030, 960, 540, 1500, 900}, 1},
        {"masked mode 1, solid", Paint{255, 0, 0xFF3366CC, 0, 0, 0, 0, 0}, 2},
        {"masked mode 2, solid alpha 200", Paint{230, 0, 0xC83366CC, 0, 0, 0, 0, 0}, 3},
    };
    auto run = [&](const FillTable* t, const Case& c) {
        switch (c.op) {
            case 0:
                t->fill(&b.surface, &c.paint);
                break;
            case 1:
                t->fill_with_colour_alpha(&b.surface, &c.paint, 1);
                break;
            default:
                t->fill_masked(&b.mask, &b.surface, &c.paint, c.op - 1);
                break;
        }
    };

    std::printf("%-34s %12s %12s %8s\n", "case (Mpixel/s)", "scalar", "sse2", "ratio");
    double ratio_blend = 0;
    double ratio_hblend = 0;
    double ratio_rblend = 0;
    double radial_sse2 = 1e30;
    double opaque_sse2 = 0;
    double opaque_scalar = 0;
    for (const Case& c : cases) {
        const double ts = best_seconds([&] { run(scalar, c); });
        const double tv = best_seconds([&] { run(sse2, c); });
        std::printf("%-34s %12.0f %12.0f %7.2fx\n", c.name, mpx(ts), mpx(tv), ts / tv);
        if (c.op == 0 && c.paint.kind == 0 && c.paint.opacity == 128) {
            ratio_blend = ts / tv;
        }
        if (c.op == 0 && c.paint.kind == 0 && c.paint.opacity == 255) {
            opaque_sse2 = tv;
            opaque_scalar = ts;
        }
        if (c.op == 0 && c.paint.kind == 1 && c.paint.y1 == c.paint.y2 && c.paint.opacity == 128) {
            ratio_hblend = ts / tv;
        }
        if (c.op == 0 && c.paint.kind == 2 && c.paint.opacity == 128) {
            ratio_rblend = ts / tv;
        }
        if (c.op == 0 && c.paint.kind == 2) {
            radial_sse2 = std::min(radial_sse2, mpx(tv));
        }
    }

    const double tm =
        best_seconds([&] { std::memset(b.pixels.data(), 0x5A, static_cast<size_t>(kBytes)); });
    std::printf(
        "\nopaque solid fill (MB/s): scalar %.0f, sse2 %.0f, memset %.0f; sse2 / memset %.2f\n",
        mbs(opaque_scalar), mbs(opaque_sse2), mbs(tm), tm / opaque_sse2);
    std::printf("\n");
    goal("SSE2 >= 3 x scalar, solid blend", ratio_blend >= 3);
    goal("SSE2 >= 3 x scalar, horizontal gradient blend", ratio_hblend >= 3);
    goal("SSE2 >= 3 x scalar, radial gradient blend", ratio_rblend >= 3);
    goal("opaque solid fill >= 0.5 x memset bandwidth", tm / opaque_sse2 >= 0.5);
    goal("radial gradient >= 200 Mpixel/s (slower of both opacities)", radial_sse2 >= 200);
    return 0;
}
