#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/core/Object.h"
#include "platform/core/ObserverToken.h"

namespace core {

using NotificationUserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    std::shared_ptr<Object> object;  // the sender, or null
    NotificationUserInfo userInfo;
};

// Named notifications, delivered synchronously on the posting thread to every observer whose
// name and sender match, in the order the observers were added. No lock is held while an
// observer runs, so observers may post, add and remove observers. See ObserverToken for
// what removal guarantees.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;

    // The process-wide center; it lives until the process ends.
    static std::shared_ptr<NotificationCenter> defaultCenter();
    static std::shared_ptr<NotificationCenter> create();

    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // An empty name observes every notification. A sender limits the observer to
    // notifications whose object is that very object (compared by address, never
    // dereferenced); null means any sender. The observer stays registered as long as the
    // returned token does.
    [[nodiscard]] ObserverToken addObserver(std::string name, const Object* sender,
                                            Observer observer);
    [[nodiscard]] ObserverToken addObserver(std::string name, Observer observer);
    void removeObserver(ObserverToken& token) { token.remove(); }

    void post(const std::string& name, std::shared_ptr<Object> object = nullptr,
              NotificationUserInfo userInfo = {});
    void post(const Notification& notification);

private:
    struct Observers;
    NotificationCenter();

    std::shared_ptr<Observers> observers_;
};

}  // namespace core
