#include "orderd/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace orderd {
namespace {

// libjpeg reports errors by calling error_exit, which must not return; jumping back to
// the caller keeps a broken file from ending the process.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jumpOnError(j_common_ptr info) {
    auto* error = reinterpret_cast<ErrorJump*>(info->err);
    std::longjmp(error->jump, 1);
}

void stayQuiet(j_common_ptr) {}

// Kept free of C++ objects: longjmp must not skip a destructor.
bool readHeader(std::FILE* file) {
    jpeg_decompress_struct info;
    ErrorJump error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnError;
    error.manager.output_message = stayQuiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    jpeg_destroy_decompress(&info);
    return ok;
}

struct EncodeJob {
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    int width;
    int height;
    int quality;
    const std::vector<unsigned char>* pixels;
};

bool encode(EncodeJob& job) {
    jpeg_compress_struct info;
    ErrorJump error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &job.out, &job.outSize);
    info.image_width = static_cast<JDIMENSION>(job.width);
    info.image_height = static_cast<JDIMENSION>(job.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, job.quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(job.pixels->data()) +
                       static_cast<std::size_t>(info.next_scanline) * job.width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

std::vector<unsigned char> pattern(int width, int height, std::uint32_t rgb, std::uint32_t seed) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t noise = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            bool stripe = ((x + y + static_cast<int>(seed % 64)) / 24) % 2 == 0;
            auto* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                int base = static_cast<int>((rgb >> (16 - 8 * c)) & 0xff);
                int shade = stripe ? base : (base + 255 * (x + y) / (width + height)) / 2;
                p[c] = static_cast<unsigned char>((shade + static_cast<int>(noise >> 29)) & 0xff);
            }
        }
    }
    return pixels;
}

}  // namespace

bool isJpegFile(const std::filesystem::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) {
        return false;
    }
    unsigned char soi[2] = {0, 0};
    bool ok = std::fread(soi, 1, 2, f) == 2 && soi[0] == 0xFF && soi[1] == 0xD8;
    if (ok) {
        std::rewind(f);
        ok = readHeader(f);
    }
    std::fclose(f);
    return ok;
}

Result<std::string> encodePatternJpeg(int width, int height, std::uint32_t rgb, std::uint32_t seed,
                                      int quality) {
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        return Error{"picture size out of range"};
    }
    auto pixels = pattern(width, height, rgb, seed);
    EncodeJob job{nullptr, 0, width, height, quality, &pixels};
    bool ok = encode(job);
    std::string bytes = ok ? std::string(reinterpret_cast<char*>(job.out), job.outSize) : "";
    std::free(job.out);
    if (!ok) {
        return Error{"cannot encode JPEG"};
    }
    return bytes;
}

}  // namespace orderd
