#include "platform/core/Object.h"

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include <cxxabi.h>

namespace core {

std::string Object::description() const {
    int status = 0;
    const char* mangled = typeid(*this).name();
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + name + ": " + address + ">";
}

}  // namespace core
