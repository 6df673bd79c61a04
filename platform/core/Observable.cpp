#include "platform/core/Observable.h"

#include <algorithm>
#include <utility>

#include "platform/core/ObserverRegistryPrivate.h"

namespace core {

struct Observable::Observers
    : ObserverRegistry<std::string, const std::string&, Observable::Phase> {};

Observable::Observable() : observers_(std::make_shared<Observers>()) {}

Observable::Observable(const Observable&) : Observable() {}

Observable& Observable::operator=(const Observable&) {
    return *this;
}

Observable::~Observable() = default;

ObserverToken Observable::addObserver(std::string key, Observer observer) {
    if (!observer) {
        return {};
    }
    return observers_->add(std::move(key), std::move(observer));
}

void Observable::willChangeValueForKey(const std::string& key) {
    announce(key, Phase::WillChange);
}

void Observable::didChangeValueForKey(const std::string& key) {
    announce(key, Phase::DidChange);
}

std::vector<std::string> Observable::keysAffecting(const std::string&) const {
    return {};
}

void Observable::announced(const std::string&, Phase) {}

void Observable::announce(const std::string& key, Phase phase) {
    // An observer (or the class's own hook) may drop the last reference to this object, so
    // nothing touches `this` once the hook has returned.
    auto observers = observers_;
    const auto dependents = observedKeysAffectedBy(key);
    announced(key, phase);
    observers->deliver([&](const std::string& observed) { return observed == key; }, key, phase);
    for (const auto& dependent : dependents) {
        observers->deliver([&](const std::string& observed) { return observed == dependent; },
                           dependent, phase);
    }
}

// Only keys someone observes are looked at, so a derived key nobody watches costs nothing.
std::vector<std::string> Observable::observedKeysAffectedBy(const std::string& key) const {
    std::vector<std::string> affected;
    for (const auto& observed : observers_->keys()) {
        if (observed == key) {
            continue;
        }
        // Most keys are derived from none: they are settled without a visited list.
        const auto sources = keysAffecting(observed);
        if (sources.empty()) {
            continue;
        }
        std::vector<std::string> visited{observed};
        if (affects(key, observed, visited)) {
            affected.push_back(observed);
        }
    }
    return affected;
}

bool Observable::affects(const std::string& changed, const std::string& target,
                         std::vector<std::string>& visited) const {
    for (const auto& source : keysAffecting(target)) {
        if (source == changed) {
            return true;
        }
        if (std::find(visited.begin(), visited.end(), source) != visited.end()) {
            continue;
        }
        visited.push_back(source);
        if (affects(changed, source, visited)) {
            return true;
        }
    }
    return false;
}

}  // namespace core
