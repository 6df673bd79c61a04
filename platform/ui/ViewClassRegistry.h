#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Object.h"
#include "platform/ui/Geometry.h"

namespace ui {

// The classes an interface description may name, by name. The platform's views are
// registered from the start; an app adds its own (a cell class, say) before loading a
// description that uses them. Main thread.
class ViewClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<core::Object>()>;

    static void add(std::string name, Factory factory);
    // Registers T under `name`, made by T::create(Rect{}).
    template <class T>
    static void add(std::string name) {
        add(std::move(name),
            [] { return std::static_pointer_cast<core::Object>(T::create(Rect{})); });
    }
    static bool contains(std::string_view name);
    // A new object of the class, or null for an unknown name.
    static std::shared_ptr<core::Object> make(std::string_view name);
};

}  // namespace ui
