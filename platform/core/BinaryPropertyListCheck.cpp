#include "platform/core/BinaryPropertyListCheckPrivate.h"

#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace core::archive {

namespace {

constexpr std::size_t kHeaderSize = 8;  // "bplist00"
constexpr std::size_t kTrailerSize = 32;

std::uint64_t readBigEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

struct Layout {
    const std::uint8_t* data;
    std::size_t objectsEnd;  // where the offset table starts
    std::size_t offsetSize;
    std::size_t refSize;
    std::uint64_t objectCount;
    std::uint64_t topObject;
    std::uint64_t offsetTable;
};

std::optional<Layout> readTrailer(const std::uint8_t* data, std::size_t length) {
    if (length < kHeaderSize + kTrailerSize || std::memcmp(data, "bplist0", 7) != 0) {
        return std::nullopt;
    }
    const std::uint8_t* trailer = data + length - kTrailerSize;
    Layout layout{data,
                  0,
                  trailer[6],
                  trailer[7],
                  readBigEndian(trailer + 8, 8),
                  readBigEndian(trailer + 16, 8),
                  readBigEndian(trailer + 24, 8)};
    layout.objectsEnd = static_cast<std::size_t>(layout.offsetTable);
    bool sizesValid = layout.offsetSize >= 1 && layout.offsetSize <= 8 && layout.refSize >= 1 &&
                      layout.refSize <= 8;
    std::size_t tableSpace = length - kTrailerSize;
    if (!sizesValid || layout.offsetTable < kHeaderSize || layout.offsetTable > tableSpace ||
        layout.objectCount == 0 || layout.topObject >= layout.objectCount ||
        layout.objectCount > (tableSpace - layout.offsetTable) / layout.offsetSize) {
        return std::nullopt;
    }
    return layout;
}

// The count of a variable-length object: the low nibble, or a following integer object.
std::optional<std::pair<std::uint64_t, std::size_t>> countAt(const Layout& layout,
                                                             std::size_t offset) {
    std::uint8_t low = layout.data[offset] & 0x0f;
    if (low != 0x0f) {
        return std::make_pair(std::uint64_t{low}, offset + 1);
    }
    if (offset + 2 > layout.objectsEnd || (layout.data[offset + 1] & 0xf0) != 0x10) {
        return std::nullopt;
    }
    std::size_t size = std::size_t{1} << (layout.data[offset + 1] & 0x0f);
    if (size > 8 || offset + 2 + size > layout.objectsEnd) {
        return std::nullopt;
    }
    return std::make_pair(readBigEndian(layout.data + offset + 2, size), offset + 2 + size);
}

struct Object {
    std::size_t refsAt = 0;      // where the child references start
    std::uint64_t children = 0;  // number of child references
    std::uint64_t keys = 0;      // how many of the first children are dictionary keys
    bool holdsNul = false;       // a string with a NUL character, which no key may hold
};

bool textHoldsNul(const Layout& layout, std::size_t start, std::uint64_t units, bool wide) {
    const std::uint8_t* text = layout.data + start;
    if (!wide) {
        return std::memchr(text, 0, static_cast<std::size_t>(units)) != nullptr;
    }
    for (std::uint64_t i = 0; i < units; ++i) {
        if (text[2 * i] == 0 && text[2 * i + 1] == 0) {
            return true;
        }
    }
    return false;
}

// Checks that the object at `index` lies within the object area and finds its children.
std::optional<Object> objectAt(const Layout& layout, std::uint64_t index) {
    std::size_t entry = static_cast<std::size_t>(layout.offsetTable + index * layout.offsetSize);
    std::uint64_t offset = readBigEndian(layout.data + entry, layout.offsetSize);
    if (offset < kHeaderSize || offset >= layout.objectsEnd) {
        return std::nullopt;
    }
    auto at = static_cast<std::size_t>(offset);
    std::uint8_t type = layout.data[at] >> 4;
    std::uint8_t low = layout.data[at] & 0x0f;
    std::uint64_t room = layout.objectsEnd - at - 1;
    switch (type) {
        case 0x0:
            return Object{};
        case 0x1:
        case 0x2:
            return low <= 4 && (std::uint64_t{1} << low) <= room ? std::optional(Object{})
                                                                 : std::nullopt;
        case 0x3:
            return room >= 8 ? std::optional(Object{}) : std::nullopt;
        case 0x8:
            return std::uint64_t{low} + 1u <= room ? std::optional(Object{}) : std::nullopt;
        default:
            break;
    }
    auto count = countAt(layout, at);
    if (!count) {
        return std::nullopt;
    }
    auto [items, start] = *count;
    std::uint64_t left = layout.objectsEnd - start;
    switch (type) {
        case 0x4:
            return items <= left ? std::optional(Object{}) : std::nullopt;
        case 0x5:
            return items <= left
                       ? std::optional(Object{0, 0, 0, textHoldsNul(layout, start, items, false)})
                       : std::nullopt;
        case 0x6:
            return items <= left / 2
                       ? std::optional(Object{0, 0, 0, textHoldsNul(layout, start, items, true)})
                       : std::nullopt;
        case 0xA:
        case 0xC:
            return items <= left / layout.refSize ? std::optional(Object{start, items})
                                                  : std::nullopt;
        case 0xD:
            return items <= left / layout.refSize / 2
                       ? std::optional(Object{start, items * 2, items})
                       : std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace

bool isSafeBinaryPropertyList(const std::uint8_t* data, std::size_t length, int maxDepth,
                              std::size_t maxNodes) {
    auto layout = readTrailer(data, length);
    if (!layout) {
        return false;
    }
    struct Pending {
        std::uint64_t index;
        int depth;
        bool isKey;
    };
    std::vector<Pending> pending{{layout->topObject, 0, false}};
    std::size_t visited = 0;
    while (!pending.empty()) {
        auto [index, depth, isKey] = pending.back();
        pending.pop_back();
        auto object = objectAt(*layout, index);
        if (!object || depth > maxDepth || ++visited + pending.size() > maxNodes) {
            return false;
        }
        // libplist reads keys as C strings and aborts on a key whose length disagrees.
        if (isKey && object->holdsNul) {
            return false;
        }
        // Everything pending will be visited, so it counts against the limit already.
        if (object->children > maxNodes - visited - pending.size()) {
            return false;
        }
        for (std::uint64_t i = 0; i < object->children; ++i) {
            std::uint64_t child =
                readBigEndian(data + object->refsAt + i * layout->refSize, layout->refSize);
            if (child >= layout->objectCount) {
                return false;
            }
            pending.push_back({child, depth + 1, i < object->keys});
        }
    }
    return true;
}

}  // namespace core::archive
