#pragma once

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/ui/Image.h"

namespace ui {

// PNG bytes of an image, upright, keeping transparency.
core::Expected<core::Bytes> PNGRepresentation(const Image& image);

}  // namespace ui
