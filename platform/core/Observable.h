#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/ObserverToken.h"

namespace core {

// Key-value observation for a class that announces its own changes: a setter calls
// willChangeValueForKey(key) before it stores and didChangeValueForKey(key) after. Observers
// run synchronously on the announcing thread, with no lock of this class held (the announcer
// may hold its own; see Operation). A key whose value is derived from others names them in
// keysAffecting(), and a change of any of those is announced for it as well.
class Observable {
public:
    enum class Phase { WillChange, DidChange };
    using Observer = std::function<void(const std::string& key, Phase phase)>;

    // The observer stays registered as long as the returned token does; see ObserverToken.
    [[nodiscard]] ObserverToken addObserver(std::string key, Observer observer);
    void removeObserver(ObserverToken& token) { token.remove(); }

    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);

protected:
    Observable();
    // A copy starts without observers.
    Observable(const Observable&);
    Observable& operator=(const Observable&);
    virtual ~Observable();

    // The keys whose changes change `key` (directly; chains are followed). May be called on
    // any thread that announces a change. None by default.
    virtual std::vector<std::string> keysAffecting(const std::string& key) const;

    // Called for every announcement, before any observer, on the announcing thread: for a
    // class's own bookkeeping, which should cost no observer registration. Only the announced
    // key is passed, not the keys derived from it. Nothing by default.
    virtual void announced(const std::string& key, Phase phase);

private:
    struct Observers;

    void announce(const std::string& key, Phase phase);
    std::vector<std::string> observedKeysAffectedBy(const std::string& key) const;
    bool affects(const std::string& changed, const std::string& target,
                 std::vector<std::string>& visited) const;

    std::shared_ptr<Observers> observers_;
};

}  // namespace core
