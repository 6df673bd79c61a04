#pragma once

#include <optional>
#include <string>

#include "platform/core/Expected.h"
#include "platform/ui/Geometry.h"

namespace ui {

// One property value as written in an interface description: a bare word ("yes", "12.5",
// "0,0,320,44") or a quoted text. The typed readers fail with a BadValue error that names
// the property.
class InterfaceValue {
public:
    InterfaceValue(std::string key, std::string text)
        : key_(std::move(key)), text_(std::move(text)) {}

    const std::string& key() const { return key_; }
    const std::string& text() const { return text_; }

    core::Expected<bool> asBool() const;
    core::Expected<double> asNumber() const;
    core::Expected<int> asInteger() const;
    // "x,y,width,height"
    core::Expected<Rect> asRect() const;
    // "width,height"
    core::Expected<Size> asSize() const;
    // "top,left,bottom,right", or one number for all four
    core::Expected<EdgeInsets> asInsets() const;
    // The value must be one of `names`; returns its position.
    core::Expected<int> asChoice(std::initializer_list<const char*> names) const;

    core::Error badValue(const std::string& expected) const;

private:
    core::Expected<std::vector<double>> numbers(std::size_t count) const;

    std::string key_;
    std::string text_;
};

// Reads a value with `parse` and hands it to `apply`, or returns the reading's error:
//     return applyValue(value.asBool(), [&](bool hidden) { setHidden(hidden); });
template <class T, class Apply>
core::Expected<void> applyValue(core::Expected<T> parsed, Apply apply) {
    if (!parsed) {
        return parsed.error();
    }
    apply(*parsed);
    return {};
}

}  // namespace ui
