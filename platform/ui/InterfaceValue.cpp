#include "platform/ui/InterfaceValue.h"

#include <charconv>
#include <vector>

#include "platform/ui/InterfaceError.h"

namespace ui {

namespace {

std::optional<double> parseNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

core::Error InterfaceValue::badValue(const std::string& expected) const {
    return makeInterfaceError(InterfaceError::BadValue, "property \"" + key_ + "\" expects " +
                                                            expected + ", not \"" + text_ + "\"");
}

core::Expected<bool> InterfaceValue::asBool() const {
    if (text_ == "yes" || text_ == "true") {
        return true;
    }
    if (text_ == "no" || text_ == "false") {
        return false;
    }
    return badValue("yes or no");
}

core::Expected<double> InterfaceValue::asNumber() const {
    if (auto number = parseNumber(text_)) {
        return *number;
    }
    return badValue("a number");
}

core::Expected<int> InterfaceValue::asInteger() const {
    auto number = parseNumber(text_);
    if (number && *number == static_cast<int>(*number)) {
        return static_cast<int>(*number);
    }
    return badValue("an integer");
}

core::Expected<std::vector<double>> InterfaceValue::numbers(std::size_t count) const {
    std::vector<double> values;
    std::size_t start = 0;
    while (start <= text_.size()) {
        std::size_t comma = text_.find(',', start);
        std::size_t end = comma == std::string::npos ? text_.size() : comma;
        auto number = parseNumber(std::string_view(text_).substr(start, end - start));
        if (!number) {
            return badValue(std::to_string(count) + " numbers separated by commas");
        }
        values.push_back(*number);
        start = end + 1;
    }
    if (values.size() != count) {
        return badValue(std::to_string(count) + " numbers separated by commas");
    }
    return values;
}

core::Expected<Rect> InterfaceValue::asRect() const {
    auto values = numbers(4);
    if (!values) {
        return values.error();
    }
    return Rect((*values)[0], (*values)[1], (*values)[2], (*values)[3]);
}

core::Expected<Size> InterfaceValue::asSize() const {
    auto values = numbers(2);
    if (!values) {
        return values.error();
    }
    return Size{(*values)[0], (*values)[1]};
}

core::Expected<EdgeInsets> InterfaceValue::asInsets() const {
    if (auto all = parseNumber(text_)) {
        return EdgeInsets{*all, *all, *all, *all};
    }
    auto values = numbers(4);
    if (!values) {
        return values.error();
    }
    return EdgeInsets{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

core::Expected<int> InterfaceValue::asChoice(std::initializer_list<const char*> names) const {
    int index = 0;
    std::string list;
    for (const char* name : names) {
        if (text_ == name) {
            return index;
        }
        list += (index == 0 ? "" : ", ") + std::string(name);
        ++index;
    }
    return badValue("one of " + list);
}

}  // namespace ui
