#pragma once

#include <compare>
#include <string>

namespace ui {

// An item's place in a collection view: its section and its position in the section.
struct IndexPath {
    int section = 0;
    int item = 0;

    int row() const { return item; }
    std::string description() const {
        return "[" + std::to_string(section) + "," + std::to_string(item) + "]";
    }
    friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

}  // namespace ui
