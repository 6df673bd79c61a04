#pragma once

// Camera-like test pictures for the photo path benchmarks. A real 8 MP phone photo at quality
// ~92 is 2 to 4 MB: smooth regions (sky, walls, paper) with some texture, edges and fine
// detail, and moderate sensor noise left after the camera's own denoising. Each kind here
// has that mix in its own proportion; "grainy" is the worst case, uniform strong grain on
// every pixel, which makes the JPEG large and its entropy decoding expensive.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Bitmap.h"
#include "platform/ui/SimulatedCamera.h"

namespace bench {

enum class SceneKind { Landscape, Shelf, Document, Grainy };

inline std::string sceneName(SceneKind kind) {
    switch (kind) {
        case SceneKind::Landscape:
            return "landscape";
        case SceneKind::Shelf:
            return "shelf";
        case SceneKind::Document:
            return "document";
        case SceneKind::Grainy:
            return "grainy";
    }
    return "unknown";
}

inline std::uint32_t hash3(std::uint32_t x, std::uint32_t y, std::uint32_t salt) {
    std::uint32_t h = x * 73856093u ^ y * 19349663u ^ salt * 83492791u;
    h = (h ^ (h >> 13)) * 0x5bd1e995u;
    return h ^ (h >> 15);
}

// Roughly normal sensor noise with standard deviation `sigma` (sum of four uniform bytes).
inline double sensorNoise(int x, int y, int channel, double sigma) {
    const std::uint32_t h = hash3(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                  static_cast<std::uint32_t>(channel) + 1);
    const int sum =
        static_cast<int>((h & 0xFF) + ((h >> 8) & 0xFF) + ((h >> 16) & 0xFF) + ((h >> 24) & 0xFF));
    return (sum - 510) / 147.8 * sigma;  // 4 uniform bytes: sd = sqrt(4 * 65535 / 12) ~ 147.8
}

// Smooth value noise of the given cell size in [0, 1]: texture such as foliage or grain of
// wood, which costs a JPEG real bits without being per-pixel noise.
inline double valueNoise(double x, double y, double cell, std::uint32_t salt) {
    const double gx = x / cell;
    const double gy = y / cell;
    const auto ix = static_cast<std::uint32_t>(gx);
    const auto iy = static_cast<std::uint32_t>(gy);
    const double fx = gx - ix;
    const double fy = gy - iy;
    auto at = [salt](std::uint32_t a, std::uint32_t b) {
        return (hash3(a, b, salt) & 0xFFFF) / 65535.0;
    };
    const double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * fx;
    const double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * fx;
    return top + (bottom - top) * fy;
}

// A 5 x 7 glyph-like pattern: text as a camera sees it, strokes of a few pixels.
inline bool glyphInk(int column, int row, std::uint32_t glyph) {
    const std::uint32_t bits = hash3(glyph, 7, 3);
    const bool vertical =
        (column == 0 && (bits & 1)) || (column == 4 && (bits & 2)) || (column == 2 && (bits & 4));
    const bool horizontal =
        (row == 0 && (bits & 8)) || (row == 3 && (bits & 16)) || (row == 6 && (bits & 32));
    return vertical || horizontal;
}

inline void put(std::uint8_t* p, double r, double g, double b) {
    p[0] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
    p[1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
    p[2] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
}

// Sky, sun, hills and a textured field with fence posts.
inline void landscapePixel(std::uint8_t* p, int x, int y, int width, int height) {
    const double u = static_cast<double>(x) / width;
    const double v = static_cast<double>(y) / height;
    const double horizon = 0.58 + 0.05 * std::sin(u * 7.0) + 0.02 * std::sin(u * 31.0);
    double r, g, b;
    if (v < horizon) {
        const double t = v / horizon;
        const double cloud = std::max(0.0, valueNoise(x, y * 2.5, 180, 1) - 0.55) * 2.2;
        r = 70 + 120 * t + 160 * cloud;
        g = 130 + 85 * t + 110 * cloud;
        b = 215 + 20 * t + 40 * cloud;
    } else {
        const double t = (v - horizon) / (1 - horizon);
        const double leaves = valueNoise(x, y, 9, 2) * 0.5 + valueNoise(x, y, 3, 3) * 0.5;
        const double rows = 0.5 + 0.5 * std::sin((u - 0.5) * 70.0 / (0.15 + t));
        r = 70 - 25 * t + 60 * leaves + 12 * rows;
        g = 125 - 40 * t + 80 * leaves + 18 * rows;
        b = 50 - 15 * t + 30 * leaves;
    }
    if (v > horizon - 0.1 && v < horizon + 0.06 && std::fmod(u * 14.0, 1.0) < 0.035) {
        const double wood = valueNoise(x * 4.0, y * 0.3, 3, 4);
        r = 100 + 40 * wood, g = 72 + 30 * wood, b = 45 + 20 * wood;
    }
    put(p, r + sensorNoise(x, y, 0, 3.5), g + sensorNoise(x, y, 1, 3.0),
        b + sensorNoise(x, y, 2, 4.0));
}

// A store shelf: a lit wall, shelf boards with shadows, boxes of many colours with printed
// labels, the subject field staff photograph most.
inline void shelfPixel(std::uint8_t* p, int x, int y, int width, int height) {
    const double u = static_cast<double>(x) / width;
    const double light = 1.0 - 0.35 * std::hypot(u - 0.45, static_cast<double>(y) / height - 0.3);
    const int boardPitch = height / 5;
    const int inBoard = y % boardPitch;
    const int shelfIndex = y / boardPitch;
    double r = 200 * light, g = 196 * light, b = 188 * light;
    if (inBoard > boardPitch - 60) {
        const double grain = valueNoise(x * 0.2, y * 3.0, 4, 5);
        r = (150 + 30 * grain) * light, g = (110 + 20 * grain) * light,
        b = (70 + 10 * grain) * light;
    } else if (inBoard > 40) {
        const int boxWidth = 180 + static_cast<int>(hash3(shelfIndex, 0, 6) % 160);
        const int box = x / boxWidth;
        const int inBox = x % boxWidth;
        const std::uint32_t colour = hash3(box, shelfIndex, 7);
        const int top = 40 + static_cast<int>(hash3(box, shelfIndex, 8) % 120);
        if (inBox > 6 && inBox < boxWidth - 6 && inBoard > top) {
            r = (60 + (colour & 0x7F) * 1.4) * light;
            g = (60 + ((colour >> 8) & 0x7F) * 1.4) * light;
            b = (60 + ((colour >> 16) & 0x7F) * 1.4) * light;
            const int labelTop = top + 50;
            const int ly = inBoard - labelTop;
            const int lx = inBox - 20;
            if (ly >= 0 && ly < 3 * 40 && lx >= 0 && lx < boxWidth - 40) {
                r = g = b = 235 * light;
                const int cellX = lx / 18;
                const int cellY = ly / 40;
                const int gx = (lx % 18) / 3;
                const int gy = (ly % 40 - 5) / 4;
                if (gx < 5 && gy >= 0 && gy < 7 &&
                    glyphInk(gx, gy, hash3(cellX, cellY + box * 7, shelfIndex))) {
                    r = g = b = 40 * light;
                }
            }
            const double shade = 1.0 - 0.25 * (static_cast<double>(inBox) / boxWidth);
            r *= shade, g *= shade, b *= shade;
        }
    }
    if (inBoard < 40 && inBoard > 0) {  // the shadow under the board above
        const double s = 0.6 + 0.4 * inBoard / 40.0;
        r *= s, g *= s, b *= s;
    }
    put(p, r + sensorNoise(x, y, 0, 3.0), g + sensorNoise(x, y, 1, 2.5),
        b + sensorNoise(x, y, 2, 3.5));
}

// A delivery note on a desk: paper under uneven light, lines of text, a ruled table.
inline void documentPixel(std::uint8_t* p, int x, int y, int width, int height) {
    const double u = static_cast<double>(x) / width;
    const double v = static_cast<double>(y) / height;
    const bool onPaper = u > 0.08 && u < 0.92 && v > 0.05 && v < 0.97;
    double r, g, b;
    if (!onPaper) {
        const double wood = valueNoise(x * 0.15, y * 2.0, 5, 9);
        r = 120 + 50 * wood, g = 85 + 35 * wood, b = 55 + 20 * wood;
    } else {
        const double light = 0.82 + 0.18 * (1 - std::hypot(u - 0.6, v - 0.4));
        r = 245 * light, g = 243 * light, b = 236 * light;
        const int px = x - static_cast<int>(0.12 * width);
        const int py = y - static_cast<int>(0.1 * height);
        const int lineHeight = 64;
        const int line = py / lineHeight;
        const int inLine = py % lineHeight;
        const bool tableLine = line > 12 && line < 28 && (inLine < 3 || px % 520 < 3);
        if (px >= 0 && u < 0.88 && line >= 0 && v < 0.93) {
            const int cell = px / 22;
            const int gx = (px % 22) / 4;
            const int gy = (inLine - 18) / 5;
            const bool word = hash3(cell / 6, line, 10) % 7 != 0 && cell % 6 != 5;
            if (tableLine) {
                r = g = b = 70 * light;
            } else if (word && gx < 5 && gy >= 0 && gy < 7 &&
                       glyphInk(gx, gy, hash3(cell, line, 11))) {
                r = 35 * light, g = 38 * light, b = 60 * light;
            }
        }
    }
    put(p, r + sensorNoise(x, y, 0, 3.0), g + sensorNoise(x, y, 1, 2.5),
        b + sensorNoise(x, y, 2, 3.5));
}

inline std::shared_ptr<ui::Bitmap> cameraScene(SceneKind kind, int width, int height) {
    if (kind == SceneKind::Grainy) {
        return ui::SimulatedCamera::generateScene(width, height);
    }
    auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap->row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            switch (kind) {
                case SceneKind::Landscape:
                    landscapePixel(p, x, y, width, height);
                    break;
                case SceneKind::Shelf:
                    shelfPixel(p, x, y, width, height);
                    break;
                default:
                    documentPixel(p, x, y, width, height);
                    break;
            }
        }
    }
    return bitmap;
}

}  // namespace bench
