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

// The source pixels that make up one output pixel along one axis, with their weights.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Taps for the output pixels [visibleBegin, visibleEnd) of an axis of `outLength` pixels
// that shows all `inLength` source pixels.
std::vector<Taps> axisTaps(int inLength, long long outLength, long long visibleBegin,
                           long long visibleEnd) {
    std::vector<Taps> taps;
    taps.reserve(static_cast<std::size_t>(visibleEnd - visibleBegin));
    const double ratio = static_cast<double>(inLength) / static_cast<double>(outLength);
    for (long long i = visibleBegin; i < visibleEnd; ++i) {
        Taps t;
        if (ratio > 1.0) {
            double begin = i * ratio;
            double end = begin + ratio;
            t.first = static_cast<int>(std::floor(begin));
            int last = std::min(inLength - 1, static_cast<int>(std::ceil(end)) - 1);
            for (int j = t.first; j <= last; ++j) {
                double covered = std::min<double>(end, j + 1) - std::max<double>(begin, j);
                t.weights.push_back(static_cast<float>(std::max(0.0, covered) / ratio));
            }
        } else {
            double center = (i + 0.5) * ratio - 0.5;
            int left = static_cast<int>(std::floor(center));
            float fraction = static_cast<float>(center - left);
            int a = std::clamp(left, 0, inLength - 1);
            int b = std::clamp(left + 1, 0, inLength - 1);
            t.first = std::min(a, b);
            t.weights =
                a == b ? std::vector<float>{1.0f} : std::vector<float>{1.0f - fraction, fraction};
        }
        taps.push_back(std::move(t));
    }
    return taps;
}

// One source row resampled horizontally into premultiplied RGBA floats.
void resampleRow(const Bitmap& source, int y, const std::vector<Taps>& columns, float* out) {
    const std::uint8_t* row = source.row(y);
    const bool alpha = source.format() == PixelFormat::RGBA8;
    const int bpp = bytesPerPixel(source.format());
    for (const Taps& t : columns) {
        float r = 0, g = 0, b = 0, a = 0;
        const std::uint8_t* p = row + static_cast<std::size_t>(t.first) * bpp;
        for (float w : t.weights) {
            float pa = alpha ? p[3] * (1.0f / 255.0f) : 1.0f;
            float wa = w * pa;
            r += p[0] * wa;
            g += p[1] * wa;
            b += p[2] * wa;
            a += wa * 255.0f;
            p += bpp;
        }
        out[0] = r;
        out[1] = g;
        out[2] = b;
        out[3] = a;
        out += 4;
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
    const long long x0 = std::max(0LL, placement.x);
    const long long x1 = std::min<long long>(canvas->width(), placement.x + placement.width);
    const long long y0 = std::max(0LL, placement.y);
    const long long y1 = std::min<long long>(canvas->height(), placement.y + placement.height);
    if (x0 >= x1 || y0 >= y1 || source.width() == 0 || source.height() == 0) {
        return;
    }
    const auto columns =
        axisTaps(source.width(), placement.width, x0 - placement.x, x1 - placement.x);
    const auto rows =
        axisTaps(source.height(), placement.height, y0 - placement.y, y1 - placement.y);
    const std::size_t visibleWidth = static_cast<std::size_t>(x1 - x0);
    const int firstRow = rows.front().first;
    const int lastRow = rows.back().first + static_cast<int>(rows.back().weights.size()) - 1;

    // Horizontal pass over only the source rows that some visible output row reads.
    std::vector<float> horizontal(static_cast<std::size_t>(lastRow - firstRow + 1) * visibleWidth *
                                  4);
    for (int y = firstRow; y <= lastRow; ++y) {
        resampleRow(source, y, columns, &horizontal[(y - firstRow) * visibleWidth * 4]);
    }
    std::vector<float> line(visibleWidth * 4);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::fill(line.begin(), line.end(), 0.0f);
        int y = rows[i].first - firstRow;
        for (float w : rows[i].weights) {
            const float* in = &horizontal[static_cast<std::size_t>(y++) * visibleWidth * 4];
            for (std::size_t k = 0; k < line.size(); ++k) {
                line[k] += in[k] * w;
            }
        }
        std::uint8_t* out = canvas->row(static_cast<int>(y0 + i)) + x0 * 4;
        for (std::size_t k = 0; k < visibleWidth; ++k) {
            composite(&line[k * 4], out + k * 4);
        }
    }
}

}  // namespace ui
