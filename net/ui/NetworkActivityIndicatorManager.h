#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Object.h"
#include "platform/core/Observable.h"
#include "platform/core/ObserverToken.h"
#include "platform/core/Timer.h"

namespace net {

// Keeps the application's network activity indicator on while request operations run. It
// counts the operations' start and finish notifications from its creation on, and drives the
// indicator only once enabled: on as soon as the count rises above zero, off 0.17 s after it
// last reached zero (a start within that time keeps it on).
//
// Observers of "isNetworkActivityIndicatorVisible" hear of every change of "activityCount".
class NetworkActivityIndicatorManager : public core::Object, public core::Observable {
public:
    static constexpr double kHideDelay = 0.17;
    static constexpr const char* kActivityCount = "activityCount";
    static constexpr const char* kIsNetworkActivityIndicatorVisible =
        "isNetworkActivityIndicatorVisible";

    // Made once, from any thread, and kept for the life of the process.
    static std::shared_ptr<NetworkActivityIndicatorManager> sharedManager();
    ~NetworkActivityIndicatorManager() override;

    bool isEnabled() const;
    void setEnabled(bool enabled);

    std::int64_t activityCount() const;
    void setActivityCount(std::int64_t count);
    bool isNetworkActivityIndicatorVisible() const { return activityCount() > 0; }

    void incrementActivityCount();
    // Never below zero.
    void decrementActivityCount();

    // The pending delayed hide, if any.
    std::shared_ptr<core::Timer> activityIndicatorVisibilityTimer() const;

    std::string description() const override;

protected:
    NetworkActivityIndicatorManager();
    std::vector<std::string> keysAffecting(const std::string& key) const override;

private:
    void changeCount(std::int64_t delta);
    void updateVisibilityDelayed();
    // Main thread.
    void updateVisibility();

    mutable std::mutex mutex_;
    std::int64_t activityCount_ = 0;      // guarded by mutex_
    bool enabled_ = false;                // guarded by mutex_
    std::shared_ptr<core::Timer> timer_;  // guarded by mutex_
    core::ObserverToken startObservation_;
    core::ObserverToken finishObservation_;
};

}  // namespace net
