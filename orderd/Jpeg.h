#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "orderd/Result.h"

namespace orderd {

// True when the file starts with a JPEG start-of-image marker and libjpeg can read its header.
bool isJpegFile(const std::filesystem::path& file);

// Encodes a generated picture (diagonal stripes in `rgb`'s colour over a soft gradient,
// varied by `seed`) as a baseline JPEG. Used for stock pictures and test photos, so neither
// needs binary files in the tree.
Result<std::string> encodePatternJpeg(int width, int height, std::uint32_t rgb, std::uint32_t seed,
                                      int quality);

}  // namespace orderd
