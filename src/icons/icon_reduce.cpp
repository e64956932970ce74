// The reduction of a decoded picture to an icon: scaling down by area averaging and
// the choice of at most 256 colours.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "icons/icon_convert.hpp"
#include "icons/icon_image.hpp"
#include "icons/rgba_image.hpp"

namespace velmora {

namespace {

constexpr std::int32_t icon_pixels_per_metre = 3780;
constexpr std::uint32_t opaque_magenta_stand_in = 0xFE00FE;

// The source pixels an output pixel of one axis covers, each with the share of it that
// lies inside.
struct axis_span {
    std::int32_t first = 0;
    std::vector<double> weights;
};

std::vector<axis_span> axis_spans(std::int32_t source, std::int32_t target) {
    std::vector<axis_span> spans(static_cast<std::size_t>(target));
    double step = static_cast<double>(source) / target;
    for (std::int32_t i = 0; i < target; ++i) {
        double begin = i * step;
        double end = i + 1 == target ? source : (i + 1) * step;
        auto first = static_cast<std::int32_t>(std::floor(begin));
        auto last = std::min(source, static_cast<std::int32_t>(std::ceil(end)));
        axis_span& span = spans[static_cast<std::size_t>(i)];
        span.first = first;
        for (std::int32_t s = first; s < last; ++s) {
            double w = std::min<double>(end, s + 1) - std::max<double>(begin, s);
            span.weights.push_back(w > 0 ? w : 0);
        }
    }
    return spans;
}

std::uint8_t to_byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

std::uint32_t channel(std::uint32_t rgb, int c) {
    return (rgb >> (16 - 8 * c)) & 0xFF;
}

// A colour of the picture and how many pixels have it.
struct colour_count {
    std::uint32_t rgb = 0;
    std::uint32_t count = 0;
};

// Median cut: the colours (sorted by value) split into at most `wanted` boxes, whose
// pixel-weighted means are then refined as in k-means.  Appends the means to the palette
// and gives, for each colour in order, its palette index.
void median_cut(std::vector<colour_count> colours, std::size_t wanted,
                std::vector<std::uint32_t>& palette,
                std::vector<std::pair<std::uint32_t, std::uint8_t>>& index_of) {
    struct box {
        std::size_t begin;
        std::size_t end;
    };
    std::vector<box> boxes{{0, colours.size()}};
    auto extent = [&](const box& b, int c) {
        std::uint32_t lo = 255, hi = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            lo = std::min(lo, channel(colours[i].rgb, c));
            hi = std::max(hi, channel(colours[i].rgb, c));
        }
        return hi - lo;
    };
    while (boxes.size() < wanted) {
        std::size_t best = boxes.size();
        int best_channel = 0;
        std::uint32_t best_extent = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            for (int c = 0; c < 3; ++c) {
                std::uint32_t e = extent(boxes[b], c);
                if (best == boxes.size() || e > best_extent) {
                    best = b;
                    best_channel = c;
                    best_extent = e;
                }
            }
        }
        if (best == boxes.size()) break;
        box split = boxes[best];
        auto first = colours.begin() + static_cast<std::ptrdiff_t>(split.begin);
        auto last = colours.begin() + static_cast<std::ptrdiff_t>(split.end);
        std::sort(first, last, [&](const colour_count& a, const colour_count& b) {
            std::uint32_t ca = channel(a.rgb, best_channel), cb = channel(b.rgb, best_channel);
            return ca != cb ? ca < cb : a.rgb < b.rgb;
        });
        std::uint64_t total = 0;
        for (auto it = first; it != last; ++it) total += it->count;
        std::uint64_t running = 0;
        std::size_t cut = split.begin + 1;
        for (std::size_t i = split.begin; i + 1 < split.end; ++i) {
            running += colours[i].count;
            cut = i + 1;
            if (2 * running >= total) break;
        }
        boxes[best] = {split.begin, cut};
        boxes.insert(boxes.begin() + static_cast<std::ptrdiff_t>(best) + 1, box{cut, split.end});
    }
    // Each box's pixel-weighted mean, then a few rounds in which every colour goes to the
    // nearest mean and the means follow their colours (ties to the lower index).
    std::vector<std::uint32_t> assigned(colours.size());
    for (std::size_t b = 0; b < boxes.size(); ++b)
        for (std::size_t i = boxes[b].begin; i < boxes[b].end; ++i)
            assigned[i] = static_cast<std::uint32_t>(b);
    std::vector<std::array<std::int32_t, 3>> means(boxes.size());
    for (int round = 0; round < 8; ++round) {
        std::vector<std::array<std::uint64_t, 4>> sums(boxes.size());
        for (std::size_t i = 0; i < colours.size(); ++i) {
            auto& sum = sums[assigned[i]];
            for (int c = 0; c < 3; ++c)
                sum[static_cast<std::size_t>(c)] +=
                    std::uint64_t{channel(colours[i].rgb, c)} * colours[i].count;
            sum[3] += colours[i].count;
        }
        for (std::size_t m = 0; m < means.size(); ++m) {
            if (sums[m][3] == 0) continue;
            for (std::size_t c = 0; c < 3; ++c)
                means[m][c] = static_cast<std::int32_t>((sums[m][c] + sums[m][3] / 2) / sums[m][3]);
        }
        bool moved = false;
        for (std::size_t i = 0; i < colours.size(); ++i) {
            auto r = static_cast<std::int32_t>(channel(colours[i].rgb, 0));
            auto g = static_cast<std::int32_t>(channel(colours[i].rgb, 1));
            auto b = static_cast<std::int32_t>(channel(colours[i].rgb, 2));
            std::int32_t best_distance = std::numeric_limits<std::int32_t>::max();
            std::uint32_t best = 0;
            for (std::size_t m = 0; m < means.size(); ++m) {
                std::int32_t dr = r - means[m][0];
                std::int32_t d = dr * dr;
                if (d >= best_distance) continue;
                std::int32_t dg = g - means[m][1];
                std::int32_t db = b - means[m][2];
                d += dg * dg + db * db;
                if (d < best_distance) {
                    best_distance = d;
                    best = static_cast<std::uint32_t>(m);
                }
            }
            moved = moved || best != assigned[i];
            assigned[i] = best;
        }
        if (!moved) break;
    }
    auto base = palette.size();
    for (const auto& mean : means) {
        auto rgb = static_cast<std::uint32_t>((mean[0] << 16) | (mean[1] << 8) | mean[2]);
        palette.push_back(rgb == gpi_transparent_magenta ? opaque_magenta_stand_in : rgb);
    }
    for (std::size_t i = 0; i < colours.size(); ++i)
        index_of.emplace_back(colours[i].rgb, static_cast<std::uint8_t>(base + assigned[i]));
    std::sort(index_of.begin(), index_of.end());
}

}  // namespace

bool rgba_size_acceptable(std::int64_t width, std::int64_t height, std::string& why) {
    if (width <= 0 || height <= 0) {
        why =
            "image of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is empty";
        return false;
    }
    if (width > icon_image_max_side || height > icon_image_max_side ||
        width * height > icon_image_max_pixels) {
        why = "image of " + std::to_string(width) + "x" + std::to_string(height) +
              " pixels is too large for an icon (at most " + std::to_string(icon_image_max_pixels) +
              " pixels, " + std::to_string(icon_image_max_side) + " a side)";
        return false;
    }
    return true;
}

std::optional<rgba_image> rgba_image_make(std::int64_t width, std::int64_t height,
                                          std::string& why) {
    if (!rgba_size_acceptable(width, height, why)) return std::nullopt;
    rgba_image image;
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    try {
        image.pixels.assign(static_cast<std::size_t>(width * height * 4), 0);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for the image";
        return std::nullopt;
    }
    return image;
}

rgba_image rgba_scale_to_fit(const rgba_image& image, std::int32_t side) {
    if (image.width <= side && image.height <= side) return image;
    std::int32_t width = side;
    std::int32_t height = side;
    if (image.width >= image.height) {
        height = static_cast<std::int32_t>(
            std::max<std::int64_t>(1, (std::int64_t{image.height} * side * 2 + image.width) /
                                          (2 * std::int64_t{image.width})));
    } else {
        width = static_cast<std::int32_t>(
            std::max<std::int64_t>(1, (std::int64_t{image.width} * side * 2 + image.height) /
                                          (2 * std::int64_t{image.height})));
    }
    auto columns = axis_spans(image.width, width);
    auto rows = axis_spans(image.height, height);
    rgba_image out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    std::uint8_t* dest = out.pixels.data();
    for (const axis_span& row : rows) {
        for (const axis_span& column : columns) {
            double area = 0;
            double alpha = 0;
            std::array<double, 3> colour{};
            for (std::size_t j = 0; j < row.weights.size(); ++j) {
                std::size_t y = static_cast<std::size_t>(row.first) + j;
                const std::uint8_t* src =
                    image.pixels.data() + (y * static_cast<std::size_t>(image.width) +
                                           static_cast<std::size_t>(column.first)) *
                                              4;
                for (std::size_t i = 0; i < column.weights.size(); ++i, src += 4) {
                    double w = row.weights[j] * column.weights[i];
                    double wa = w * src[3];
                    area += w;
                    alpha += wa;
                    for (std::size_t c = 0; c < 3; ++c) colour[c] += wa * src[c];
                }
            }
            for (std::size_t c = 0; c < 3; ++c)
                dest[c] = alpha > 0 ? to_byte(colour[c] / alpha) : 0;
            dest[3] = area > 0 ? to_byte(alpha / area) : 0;
            dest += 4;
        }
    }
    return out;
}

std::unique_ptr<bmp_image> rgba_to_indexed(const rgba_image& image) {
    constexpr std::uint32_t transparent = 0xFF000000;  // no colour has this value
    auto count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    std::vector<std::uint32_t> keys(count);
    bool any_transparent = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = &image.pixels[4 * i];
        if (p[3] < 128) {
            keys[i] = transparent;
            any_transparent = true;
            continue;
        }
        std::uint32_t rgb = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        keys[i] = rgb == gpi_transparent_magenta ? opaque_magenta_stand_in : rgb;
    }
    std::vector<colour_count> colours;
    {
        std::vector<std::uint32_t> sorted;
        sorted.reserve(count);
        for (std::uint32_t k : keys)
            if (k != transparent) sorted.push_back(k);
        std::sort(sorted.begin(), sorted.end());
        for (std::uint32_t k : sorted) {
            if (colours.empty() || colours.back().rgb != k) colours.push_back({k, 0});
            ++colours.back().count;
        }
    }

    std::vector<std::uint32_t> palette;
    if (any_transparent) palette.push_back(gpi_transparent_magenta);
    std::size_t room = 256 - palette.size();
    std::vector<std::pair<std::uint32_t, std::uint8_t>> index_of;
    if (colours.size() <= room) {
        for (const colour_count& c : colours) {
            index_of.emplace_back(c.rgb, static_cast<std::uint8_t>(palette.size()));
            palette.push_back(c.rgb);
        }
    } else {
        median_cut(std::move(colours), room, palette, index_of);
    }
    if (palette.empty()) palette.push_back(gpi_transparent_magenta);  // an empty picture

    auto out = std::make_unique<bmp_image>();
    out->width = image.width;
    out->height = image.height;
    out->bits_per_pixel = 8;
    out->x_pixels_per_metre = icon_pixels_per_metre;
    out->y_pixels_per_metre = icon_pixels_per_metre;
    out->colours_used = static_cast<std::int32_t>(palette.size());
    out->palette = std::move(palette);
    auto row_size = static_cast<std::size_t>(bitmap_row_size(8, image.width));
    out->pixels.assign(row_size * static_cast<std::size_t>(image.height), 0);
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::uint8_t* row =
            out->pixels.data() + row_size * static_cast<std::size_t>(image.height - 1 - y);
        for (std::int32_t x = 0; x < image.width; ++x) {
            std::uint32_t k =
                keys[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                     static_cast<std::size_t>(x)];
            if (k == transparent) {
                row[x] = 0;
                continue;
            }
            auto found = std::lower_bound(index_of.begin(), index_of.end(),
                                          std::pair<std::uint32_t, std::uint8_t>{k, 0});
            row[x] = found->second;
        }
    }
    return out;
}

}  // namespace velmora
