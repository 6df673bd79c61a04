#include "platform/ui/Responder.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace ui {

std::string readableTypeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    auto lastColon = name.rfind("::");
    return lastColon == std::string::npos ? name : name.substr(lastColon + 2);
}

std::string Responder::className() const {
    return readableTypeName(typeid(*this));
}

std::string Responder::description() const {
    return "<" + className() + ">";
}

}  // namespace ui
