#pragma once

#include <memory>
#include <string>

namespace core {

// The root of the platform's shared, reference-counted objects. Notifications carry
// objects of this type, and observers match senders by identity.
class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object() = default;

    // A one-line text for logs and error messages.
    virtual std::string description() const;

protected:
    Object() = default;
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;
};

using ObjectPtr = std::shared_ptr<Object>;

}  // namespace core
