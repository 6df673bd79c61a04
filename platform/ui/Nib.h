#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Expected.h"
#include "platform/ui/InterfaceDescription.h"
#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

namespace ui {

// A loaded interface description, ready to build its objects any number of times.
class Nib : public core::Object {
public:
    // Reads the resource "<name>.ui" (nibWithNibName:bundle:).
    static core::Expected<std::shared_ptr<Nib>> named(std::string_view name);
    static core::Expected<std::shared_ptr<Nib>> fromText(std::string name, std::string_view text);

    const std::string& name() const { return description_.name(); }

    // Builds the objects and connects their outlets and actions to `owner` — or, with no
    // owner, to the top object itself (a cell whose outlets are its own children). The owner
    // must be held by a shared_ptr. Any unknown class, property, outlet or action fails the
    // whole load with an error naming the description, the line and the key.
    core::Expected<std::shared_ptr<core::Object>> instantiate(Responder* owner = nullptr) const;
    // instantiate() for descriptions whose top object is a view.
    core::Expected<std::shared_ptr<View>> instantiateView(Responder* owner = nullptr) const;

    std::string description() const override;

private:
    explicit Nib(InterfaceDescription description) : description_(std::move(description)) {}

    InterfaceDescription description_;
};

using NibPtr = std::shared_ptr<Nib>;

}  // namespace ui
