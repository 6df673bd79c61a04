#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include "net/operations/URLConnectionOperation.h"
#include "platform/core/Bytes.h"
#include "platform/core/Error.h"

namespace net {

// What a typed operation reads from its body: made at most once, on first demand after the
// operation finished with a non-empty body, under a lock of its own, so the processing queue
// and a caller asking at the same time get the same object and the body is read once.
template <class Object>
class ParsedBody {
public:
    using BodyPtr = std::shared_ptr<const core::Bytes>;
    using ErrorPtr = std::shared_ptr<const core::Error>;

    // `parse(const BodyPtr& body, ErrorPtr& error)` returns the object, setting `error` when
    // the body cannot be read.
    template <class Parse>
    Object get(const URLConnectionOperation& operation, Parse&& parse) const {
        std::lock_guard lock(mutex_);
        if (parsed_ || !operation.isFinished()) {
            return object_;
        }
        parsed_ = true;
        auto body = operation.responseData();
        if (body && !body->empty()) {
            object_ = std::forward<Parse>(parse)(body, error_);
        }
        return object_;
    }

    // What has been read so far, without reading.
    Object current() const {
        std::lock_guard lock(mutex_);
        return object_;
    }

    ErrorPtr error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    mutable std::mutex mutex_;
    mutable bool parsed_ = false;  // guarded by mutex_
    mutable Object object_{};      // guarded by mutex_
    mutable ErrorPtr error_;       // guarded by mutex_
};

}  // namespace net
