#include "app/SharedGlobals.h"

#include <mutex>

namespace app {

std::shared_ptr<SharedGlobals> SharedGlobals::sharedInstance() {
    static std::mutex lock;
    static std::shared_ptr<SharedGlobals> instance;
    std::lock_guard guard(lock);
    if (!instance) {
        instance = std::shared_ptr<SharedGlobals>(new SharedGlobals());
    }
    return instance;
}

std::shared_ptr<SharedGlobals> SharedGlobals::copy() {
    return std::static_pointer_cast<SharedGlobals>(shared_from_this());
}

void SharedGlobals::clear() {
    username_.reset();
    password_.reset();
    orderID_.reset();
}

}  // namespace app
