#pragma once

#include <string>
#include <typeinfo>

#include "platform/core/Object.h"

namespace ui {

class ConnectionTable;

// The base of views, controllers and application delegates: the objects an interface
// description can connect outlets and actions to.
class Responder : public core::Object {
public:
    // The outlets and actions the class offers to interface descriptions; none by default.
    virtual const ConnectionTable* connectionTable() const { return nullptr; }
    // The class name without namespace, for dumps and error messages.
    std::string className() const;
    std::string description() const override;

protected:
    Responder() = default;
};

// A readable C++ class name without namespaces: "ui::Button" -> "Button".
std::string readableTypeName(const std::type_info& type);

}  // namespace ui
