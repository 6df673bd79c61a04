#include "platform/ui/Resampler.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ui {
namespace {

// Where output pixel (u, v) of the upright picture is found in the stored one.
struct Mapping {
    int width;   // stored
    int height;  // stored
    ImageOrientation orientation;

    void operator()(int u, int v, int* x, int* y) const {
        switch (orientation) {
            case ImageOrientation::Up:
                *x = u;
                *y = v;
                break;
            case ImageOrientation::UpMirrored:
                *x = width - 1 - u;
                *y = v;
                break;
            case ImageOrientation::Down:
                *x = width - 1 - u;
                *y = height - 1 - v;
                break;
            case ImageOrientation::DownMirrored:
                *x = u;
                *y = height - 1 - v;
                break;
            case ImageOrientation::Right:
                *x = v;
                *y = height - 1 - u;
                break;
            case ImageOrientation::Left:
                *x = width - 1 - v;
                *y = u;
                break;
            case ImageOrientation::LeftMirrored:
                *x = v;
                *y = u;
                break;
            case ImageOrientation::RightMirrored:
                *x = width - 1 - v;
                *y = height - 1 - u;
                break;
        }
    }
};

// For each output pixel along one axis: the first source pixel it reads, and the weights of
// the source pixels from there on, all kept flat so the inner loops stay simple.
struct AxisTaps {
    std::vector<int> first;
    std::vector<int> offset;  // into weights; offset[i + 1] - offset[i] taps for pixel i
    std::vector<float> weights;

    int count(std::size_t i) const { return offset[i + 1] - offset[i]; }
    int last(std::size_t i) const { return first[i] + count(i) - 1; }
};

// Taps for the output pixels [visibleBegin, visibleEnd) of an axis of `outLength` pixels
// that shows all `inLength` source pixels.
AxisTaps axisTaps(int inLength, long long outLength, long long visibleBegin, long long visibleEnd) {
    AxisTaps taps;
    const double ratio = static_cast<double>(inLength) / static_cast<double>(outLength);
    taps.offset.push_back(0);
    for (long long i = visibleBegin; i < visibleEnd; ++i) {
        if (ratio > 1.0) {
            const double begin = i * ratio;
            const double end = begin + ratio;
            const int first = std::min(inLength - 1, static_cast<int>(std::floor(begin)));
            const int last = std::min(inLength - 1, static_cast<int>(std::ceil(end)) - 1);
            taps.first.push_back(first);
            for (int j = first; j <= last; ++j) {
                double covered = std::min<double>(end, j + 1) - std::max<double>(begin, j);
                taps.weights.push_back(static_cast<float>(std::max(0.0, covered) / ratio));
            }
        } else {
            const double center = (i + 0.5) * ratio - 0.5;
            const int left = static_cast<int>(std::floor(center));
            const float fraction = static_cast<float>(center - left);
            const int a = std::clamp(left, 0, inLength - 1);
            const int b = std::clamp(left + 1, 0, inLength - 1);
            taps.first.push_back(a);
            if (a == b) {
                taps.weights.push_back(1.0f);
            } else {
                taps.weights.insert(taps.weights.end(), {1.0f - fraction, fraction});
            }
        }
        taps.offset.push_back(static_cast<int>(taps.weights.size()));
    }
    return taps;
}

// One source row resampled horizontally into `Channels` floats a pixel; with alpha, colours
// come out premultiplied.
template <int Channels>
void resampleRow(const std::uint8_t* row, const AxisTaps& columns, float* out) {
    const std::size_t outputs = columns.first.size();
    const float* weight = columns.weights.data();
    for (std::size_t i = 0; i < outputs; ++i, out += Channels) {
        const std::uint8_t* p = row + static_cast<std::size_t>(columns.first[i]) * Channels;
        float sum[Channels] = {};
        for (int k = columns.count(i); k > 0; --k, p += Channels) {
            const float w = *weight++;
            if constexpr (Channels == 4) {
                const float wa = w * p[3] * (1.0f / 255.0f);
                sum[0] += p[0] * wa;
                sum[1] += p[1] * wa;
                sum[2] += p[2] * wa;
                sum[3] += wa * 255.0f;
            } else {
                sum[0] += p[0] * w;
                sum[1] += p[1] * w;
                sum[2] += p[2] * w;
            }
        }
        for (int c = 0; c < Channels; ++c) {
            out[c] = sum[c];
        }
    }
}

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

// Source-over of one premultiplied pixel onto a straight-alpha canvas pixel.
void composite(const float* src, std::uint8_t* dst) {
    const float sa = src[3];
    if (sa >= 254.5f) {
        dst[0] = toByte(src[0]);
        dst[1] = toByte(src[1]);
        dst[2] = toByte(src[2]);
        dst[3] = 255;
        return;
    }
    const float keep = 1.0f - sa / 255.0f;
    const float da = dst[3] * keep;
    const float outA = sa + da;
    if (outA <= 0.0f) {
        dst[0] = dst[1] = dst[2] = dst[3] = 0;
        return;
    }
    for (int c = 0; c < 3; ++c) {
        dst[c] = toByte((src[c] + dst[c] * da / 255.0f) * 255.0f / outA);
    }
    dst[3] = toByte(outA);
}

struct Visible {
    long long x0, x1, y0, y1;
};

// Both passes for a source of `Channels` bytes a pixel. Opaque sources cover the canvas
// outright, so their pixels are stored rather than blended.
template <int Channels>
void drawPasses(const Bitmap& source, const Placement& placement, const Visible& v,
                Bitmap* canvas) {
    const AxisTaps columns =
        axisTaps(source.width(), placement.width, v.x0 - placement.x, v.x1 - placement.x);
    const AxisTaps rows =
        axisTaps(source.height(), placement.height, v.y0 - placement.y, v.y1 - placement.y);
    const std::size_t lineFloats = static_cast<std::size_t>(v.x1 - v.x0) * Channels;
    const int firstRow = rows.first.front();
    const int lastRow = rows.last(rows.first.size() - 1);

    // Horizontal pass over only the source rows that some visible output row reads.
    std::vector<float> horizontal(static_cast<std::size_t>(lastRow - firstRow + 1) * lineFloats);
    for (int y = firstRow; y <= lastRow; ++y) {
        resampleRow<Channels>(source.row(y), columns, &horizontal[(y - firstRow) * lineFloats]);
    }
    std::vector<float> line(lineFloats);
    for (std::size_t i = 0; i < rows.first.size(); ++i) {
        std::fill(line.begin(), line.end(), 0.0f);
        const float* weight = &rows.weights[rows.offset[i]];
        for (int k = 0; k < rows.count(i); ++k) {
            const float* in =
                &horizontal[static_cast<std::size_t>(rows.first[i] - firstRow + k) * lineFloats];
            const float w = weight[k];
            for (std::size_t f = 0; f < lineFloats; ++f) {
                line[f] += in[f] * w;
            }
        }
        std::uint8_t* out = canvas->row(static_cast<int>(v.y0 + i)) + v.x0 * 4;
        for (std::size_t f = 0; f < lineFloats; f += Channels, out += 4) {
            if constexpr (Channels == 4) {
                composite(&line[f], out);
            } else {
                out[0] = toByte(line[f]);
                out[1] = toByte(line[f + 1]);
                out[2] = toByte(line[f + 2]);
                out[3] = 255;
            }
        }
    }
}

}  // namespace

BitmapPtr Resampler::upright(const BitmapPtr& stored, ImageOrientation orientation) {
    if (orientation == ImageOrientation::Up) {
        return stored;
    }
    const bool swap = orientationSwapsAxes(orientation);
    const int width = swap ? stored->height() : stored->width();
    const int height = swap ? stored->width() : stored->height();
    const int bpp = bytesPerPixel(stored->format());
    auto result = std::make_shared<Bitmap>(width, height, stored->format());
    const Mapping map{stored->width(), stored->height(), orientation};
    for (int v = 0; v < height; ++v) {
        std::uint8_t* out = result->row(v);
        for (int u = 0; u < width; ++u, out += bpp) {
            int x = 0;
            int y = 0;
            map(u, v, &x, &y);
            const std::uint8_t* in = stored->row(y) + static_cast<std::size_t>(x) * bpp;
            std::copy(in, in + bpp, out);
        }
    }
    return result;
}

void Resampler::draw(const Bitmap& source, const Placement& placement, Bitmap* canvas) {
    const Visible visible{std::max(0LL, placement.x),
                          std::min<long long>(canvas->width(), placement.x + placement.width),
                          std::max(0LL, placement.y),
                          std::min<long long>(canvas->height(), placement.y + placement.height)};
    if (visible.x0 >= visible.x1 || visible.y0 >= visible.y1 || source.width() == 0 ||
        source.height() == 0) {
        return;
    }
    if (source.format() == PixelFormat::RGB8) {
        drawPasses<3>(source, placement, visible, canvas);
    } else {
        drawPasses<4>(source, placement, visible, canvas);
    }
}

}  // namespace ui
