#include "skin/raster/fill.h"

#include <cstddef>
#include <cstdlib>

#include "skin/raster/fill_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace qm::raster {

namespace detail {

void release_static_table(const FillTable*) {}

void reserved_slot() {}

}  // namespace detail

bool cpu_has_sse2() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid checks that leaf 1 exists (and, on 32-bit, that CPUID does).
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return (edx & (1u << 26)) != 0;
#else
    return false;
#endif
}

const FillTable* scalar_fill_table() {
    return detail::scalar_fill_table_impl();
}

const FillTable* sse2_fill_table() {
    static const FillTable* const table = cpu_has_sse2() ? detail::sse2_fill_table_impl() : nullptr;
    return table;
}

const FillTable* fill_table() {
    static const FillTable* const table =
        sse2_fill_table() != nullptr ? sse2_fill_table() : scalar_fill_table();
    return table;
}

int fill(const Surface* surface, const Paint* paint) {
    return fill_table()->fill(surface, paint);
}

int fill_with_colour_alpha(const Surface* surface, const Paint* paint, int enabled) {
    return fill_table()->fill_with_colour_alpha(surface, paint, enabled);
}

int fill_masked(const CoverageMask* mask, const Surface* surface, const Paint* paint, int mode) {
    return fill_table()->fill_masked(mask, surface, paint, mode);
}

int premultiply(Surface* surface) {
    if (surface == nullptr || surface->width < 0 || surface->height < 0) {
        return 0;
    }
    if (surface->width > 0 && surface->height > 0 &&
        (surface->pixels == nullptr ||
         std::llabs(surface->stride) < 4 * static_cast<long long>(surface->width))) {
        return 0;
    }
    if (surface->straight_alpha == 0) {
        return 1;
    }
    for (int y = 0; y < surface->height; ++y) {
        uint8_t* p = surface->pixels + static_cast<std::ptrdiff_t>(y) * surface->stride;
        for (int x = 0; x < surface->width; ++x, p += 4) {
            const uint32_t a = p[3];
            p[0] = static_cast<uint8_t>((a * (p[0] + 1u)) >> 8);
            p[1] = static_cast<uint8_t>((a * (p[1] + 1u)) >> 8);
            p[2] = static_cast<uint8_t>((a * (p[2] + 1u)) >> 8);
        }
    }
    surface->straight_alpha = 0;
    return 1;
}

}  // namespace qm::raster
