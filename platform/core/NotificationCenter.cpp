#include "platform/core/NotificationCenter.h"

#include <utility>

#include "platform/core/ObserverRegistryPrivate.h"

namespace core {

namespace {

struct ObserverKey {
    std::string name;
    const Object* sender;

    bool operator==(const ObserverKey&) const = default;

    bool matches(const Notification& notification) const {
        return (name.empty() || name == notification.name) &&
               (sender == nullptr || sender == notification.object.get());
    }
};

}  // namespace

struct NotificationCenter::Observers : ObserverRegistry<ObserverKey, const Notification&> {};

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
    // Never destroyed, so observers removed during static destruction still find it.
    static auto* center = new std::shared_ptr<NotificationCenter>(create());
    return *center;
}

std::shared_ptr<NotificationCenter> NotificationCenter::create() {
    return std::shared_ptr<NotificationCenter>(new NotificationCenter());
}

NotificationCenter::NotificationCenter() : observers_(std::make_shared<Observers>()) {}

NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(std::string name, const Object* sender,
                                              Observer observer) {
    if (!observer) {
        return {};
    }
    return observers_->add(ObserverKey{std::move(name), sender}, std::move(observer));
}

ObserverToken NotificationCenter::addObserver(std::string name, Observer observer) {
    return addObserver(std::move(name), nullptr, std::move(observer));
}

void NotificationCenter::post(const std::string& name, std::shared_ptr<Object> object,
                              NotificationUserInfo userInfo) {
    post(Notification{name, std::move(object), std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    // Held for the delivery: an observer may drop the last reference to this center.
    auto observers = observers_;
    observers->deliver([&](const ObserverKey& key) { return key.matches(notification); },
                       notification);
}

}  // namespace core
