#include "platform/ui/SimulatedCamera.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGEncoder.h"

namespace ui {
namespace {

bool looksLikePicture(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    for (const char* known : {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".tif", ".tiff", ".ico"}) {
        if (extension == known) {
            return true;
        }
    }
    return false;
}

std::uint8_t mix(double a, double b, double t) {
    return static_cast<std::uint8_t>(std::clamp(a + (b - a) * t, 0.0, 255.0));
}

void paintPixel(std::uint8_t* p, int x, int y, int width, int height) {
    const double u = static_cast<double>(x) / width;
    const double v = static_cast<double>(y) / height;
    const double horizon = 0.62 + 0.04 * std::sin(u * 6.0);
    const double sunDistance = std::hypot(u - 0.72, (v - 0.22) * height / width);
    if (sunDistance < 0.07) {
        p[0] = 255, p[1] = 236, p[2] = 170;
    } else if (v < horizon) {
        const double t = v / horizon;
        p[0] = mix(70, 190, t), p[1] = mix(130, 215, t), p[2] = mix(215, 235, t);
    } else {
        const double t = (v - horizon) / (1 - horizon);
        const double furrow = 0.5 + 0.5 * std::sin((u - 0.5) * 60.0 / (0.2 + t));
        p[0] = mix(90, 60, t) + furrow * 20, p[1] = mix(150, 100, t) + furrow * 25,
        p[2] = mix(60, 40, t);
    }
    const bool post = v > horizon - 0.08 && v < horizon + 0.05 && std::fmod(u * 12.0, 1.0) < 0.04;
    if (post) {
        p[0] = 110, p[1] = 80, p[2] = 50;
    }
    // Sensor noise and fine texture, which give the JPEG the size and entropy-decoding cost of
    // a real camera picture rather than those of a smooth drawing.
    std::uint32_t hash =
        static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    hash = (hash ^ (hash >> 13)) * 0x5bd1e995u;
    const int grain = static_cast<int>((hash >> 24) % 25) - 12;
    for (int c = 0; c < 3; ++c) {
        p[c] = static_cast<std::uint8_t>(std::clamp(p[c] + grain, 0, 255));
    }
}

}  // namespace

std::shared_ptr<SimulatedCamera> SimulatedCamera::withGeneratedFrames(int width, int height) {
    return std::shared_ptr<SimulatedCamera>(new SimulatedCamera({}, width, height));
}

std::shared_ptr<SimulatedCamera> SimulatedCamera::withFolder(std::filesystem::path folder) {
    return std::shared_ptr<SimulatedCamera>(new SimulatedCamera(std::move(folder), 0, 0));
}

SimulatedCamera::SimulatedCamera(std::filesystem::path folder, int width, int height)
    : folder_(std::move(folder)), width_(width), height_(height) {}

std::string SimulatedCamera::name() const {
    return folder_.empty() ? "Simulated camera" : "Simulated camera (" + folder_.string() + ")";
}

bool SimulatedCamera::isAvailable() const {
    if (folder_.empty()) {
        return ImageDecoder::withinLimits(width_, height_);
    }
    return !picturesInFolder().empty();
}

core::Expected<ImagePtr> SimulatedCamera::capture() {
    return folder_.empty() ? generatedFrame() : nextFromFolder();
}

std::vector<std::filesystem::path> SimulatedCamera::picturesInFolder() const {
    std::vector<std::filesystem::path> pictures;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        if (entry.is_regular_file(ec) && looksLikePicture(entry.path())) {
            pictures.push_back(entry.path());
        }
    }
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

core::Expected<ImagePtr> SimulatedCamera::nextFromFolder() {
    // Listed on every capture, so pictures dropped into the folder while running count.
    const std::vector<std::filesystem::path> pictures = picturesInFolder();
    if (pictures.empty()) {
        return error(CameraError::Unavailable, "No pictures in " + folder_.string());
    }
    std::filesystem::path chosen;
    {
        std::lock_guard lock(mutex_);
        chosen = pictures[next_++ % pictures.size()];
    }
    std::ifstream in(chosen, std::ios::binary);
    core::Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    core::Expected<ImagePtr> image = Image::create(bytes);
    if (!image) {
        return error(CameraError::CaptureFailed,
                     chosen.string() + ": " + image.error().localizedDescription());
    }
    return image;
}

core::Expected<ImagePtr> SimulatedCamera::generatedFrame() {
    std::shared_ptr<const core::Bytes> frame;
    {
        std::lock_guard lock(mutex_);
        if (!frame_) {
            if (!ImageDecoder::withinLimits(width_, height_)) {
                return error(CameraError::Unavailable, "The simulated frame size is not usable");
            }
            core::Expected<core::Bytes> encoded =
                JPEGEncoder::encode(*generateScene(width_, height_), 90);
            if (!encoded) {
                return error(CameraError::CaptureFailed, encoded.error().localizedDescription());
            }
            frame_ = std::make_shared<const core::Bytes>(std::move(*encoded));
        }
        frame = frame_;
    }
    return Image::create(*frame);
}

std::shared_ptr<Bitmap> SimulatedCamera::generateScene(int width, int height) {
    auto bitmap = std::make_shared<Bitmap>(width, height, PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap->row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            paintPixel(p, x, y, width, height);
        }
    }
    return bitmap;
}

}  // namespace ui
