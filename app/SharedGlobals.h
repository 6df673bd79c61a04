#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/core/Object.h"

namespace app {

// The signed-in user's name and password and the current order number, held in memory for
// the life of the process. One instance; its fields are used on the main thread only.
class SharedGlobals : public core::Object {
public:
    using Field = std::optional<std::string>;

    // Creates the instance on first use; safe to call from any thread.
    static std::shared_ptr<SharedGlobals> sharedInstance();
    // There is only one store: a copy is the store itself.
    std::shared_ptr<SharedGlobals> copy();

    const Field& username() const { return username_; }
    void setUsername(Field value) { username_ = std::move(value); }
    const Field& password() const { return password_; }
    void setPassword(Field value) { password_ = std::move(value); }
    const Field& orderID() const { return orderID_; }
    void setOrderID(Field value) { orderID_ = std::move(value); }

    // Forgets all three fields.
    void clear();

private:
    SharedGlobals() = default;

    Field username_;
    Field password_;
    Field orderID_;
};

}  // namespace app
