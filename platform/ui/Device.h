#pragma once

#include <string>

namespace ui {

// The machine the app runs on, as the app describes it to servers. Any thread.
class Device {
public:
    static Device current();
    // Replaces what current() reports (settings, tests).
    static void configure(std::string model, std::string systemVersion);

    const std::string& model() const { return model_; }
    const std::string& systemName() const { return systemName_; }
    const std::string& systemVersion() const { return systemVersion_; }
    // The host name.
    const std::string& name() const { return name_; }

private:
    Device() = default;

    std::string model_;
    std::string systemName_;
    std::string systemVersion_;
    std::string name_;
};

}  // namespace ui
