#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ViewController.h"

namespace uitest {

// A controller that writes each life-cycle call into a shared log as "<name>.<call>".
class RecordingController : public ui::ViewController {
public:
    using Log = std::shared_ptr<std::vector<std::string>>;

    static std::shared_ptr<RecordingController> create(std::string name, Log log) {
        return std::shared_ptr<RecordingController>(
            new RecordingController(std::move(name), std::move(log)));
    }

    void viewDidLoad() override { record("didLoad"); }
    void viewWillAppear(ui::Animated) override { record("willAppear"); }
    void viewDidAppear(ui::Animated) override { record("didAppear"); }
    void viewWillDisappear(ui::Animated) override { record("willDisappear"); }
    void viewDidDisappear(ui::Animated) override { record("didDisappear"); }
    void didReceiveMemoryWarning() override { record("memoryWarning"); }

    const std::string& name() const { return name_; }

private:
    RecordingController(std::string name, Log log)
        : ui::ViewController({}), name_(std::move(name)), log_(std::move(log)) {}
    void record(const std::string& call) { log_->push_back(name_ + "." + call); }

    std::string name_;
    Log log_;
};

// Takes the entries logged so far, leaving the log empty.
inline std::vector<std::string> takeLog(const RecordingController::Log& log) {
    std::vector<std::string> entries;
    entries.swap(*log);
    return entries;
}

}  // namespace uitest
