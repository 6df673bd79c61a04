#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Expected.h"
#include "platform/ui/InterfaceValue.h"

namespace ui {

// The parsed text of an interface description (docs/INTERFACE-DESCRIPTIONS.md): one element
// per line, "ClassName key=value key="quoted text" ...", children indented below their
// parent, "#" starting a comment line. Exactly one element sits at the top.
class InterfaceDescription {
public:
    struct Element {
        std::string className;
        int line = 0;
        std::vector<InterfaceValue> attributes;
        std::vector<Element> children;
    };

    // `name` is the resource name, used in error messages.
    static core::Expected<InterfaceDescription> parse(std::string name, std::string_view text);

    const std::string& name() const { return name_; }
    const Element& root() const { return root_; }

private:
    InterfaceDescription(std::string name, Element root)
        : name_(std::move(name)), root_(std::move(root)) {}

    std::string name_;
    Element root_;
};

}  // namespace ui
