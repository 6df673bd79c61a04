#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Expected.h"
#include "platform/ui/InterfaceError.h"
#include "platform/ui/Responder.h"

namespace ui {

// What a control, bar button item or gesture calls: the sender is the control.
using ActionHandler = std::function<void(const std::shared_ptr<core::Object>& sender)>;

// The outlets and actions of one class, looked up by name when an interface description is
// connected to an object of that class.
class ConnectionTable {
public:
    virtual ~ConnectionTable() = default;
    // Stores `value` in outlet `name` of `owner`.
    virtual core::Expected<void> setOutlet(Responder& owner, std::string_view name,
                                           const std::shared_ptr<core::Object>& value) const = 0;
    // A handler that calls action `name` on `owner` for as long as the owner lives (it holds
    // the owner weakly, so a view never keeps its controller alive), or an error.
    virtual core::Expected<ActionHandler> action(Responder& owner, std::string_view name) const = 0;
};

// The table a class declares, e.g.
//     static const ui::OutletTable<LoginScreen> table{
//         ui::OutletTable<LoginScreen>::outlet("loginButton", &LoginScreen::loginButton_),
//         ui::OutletTable<LoginScreen>::action("loginPressed", &LoginScreen::loginPressed)};
// `base` is the table of the base class, consulted for names this one lacks.
template <class T>
class OutletTable final : public ConnectionTable {
public:
    struct Entry {
        std::string name;
        std::function<core::Expected<void>(T&, const std::shared_ptr<core::Object>&)> set;
        std::function<void(T&, const std::shared_ptr<core::Object>&)> call;
    };

    template <class V>
    static Entry outlet(std::string name, std::shared_ptr<V> T::*member) {
        auto set = [member, name](
                       T& owner,
                       const std::shared_ptr<core::Object>& value) -> core::Expected<void> {
            auto typed = std::dynamic_pointer_cast<V>(value);
            if (value && !typed) {
                // The dynamic type is wanted here; a named reference makes that plain to clang too.
                const core::Object& held = *value;
                return makeInterfaceError(
                    InterfaceError::OutletTypeMismatch,
                    "outlet \"" + name + "\" of " + readableTypeName(typeid(T)) + " holds a " +
                        readableTypeName(typeid(V)) + ", not a " + readableTypeName(typeid(held)));
            }
            owner.*member = std::move(typed);
            return {};
        };
        return Entry{std::move(name), std::move(set), nullptr};
    }
    static Entry action(std::string name, void (T::*method)()) {
        return Entry{
            std::move(name), nullptr,
            [method](T& owner, const std::shared_ptr<core::Object>&) { (owner.*method)(); }};
    }
    static Entry action(std::string name,
                        void (T::*method)(const std::shared_ptr<core::Object>& sender)) {
        return Entry{std::move(name), nullptr,
                     [method](T& owner, const std::shared_ptr<core::Object>& sender) {
                         (owner.*method)(sender);
                     }};
    }

    OutletTable(std::initializer_list<Entry> entries, const ConnectionTable* base = nullptr)
        : entries_(entries), base_(base) {}

    core::Expected<void> setOutlet(Responder& owner, std::string_view name,
                                   const std::shared_ptr<core::Object>& value) const override {
        const Entry* entry = find(name, Kind::Outlet);
        T* typed = dynamic_cast<T*>(&owner);
        if (entry && typed) {
            return entry->set(*typed, value);
        }
        if (base_) {
            return base_->setOutlet(owner, name, value);
        }
        return makeInterfaceError(
            InterfaceError::UnknownOutlet,
            owner.className() + " has no outlet \"" + std::string(name) + "\"");
    }

    core::Expected<ActionHandler> action(Responder& owner, std::string_view name) const override {
        const Entry* entry = find(name, Kind::Action);
        std::shared_ptr<T> strong = std::dynamic_pointer_cast<T>(owner.weak_from_this().lock());
        if (entry && strong) {
            std::weak_ptr<T> weak = strong;
            auto call = entry->call;
            return ActionHandler([weak, call](const std::shared_ptr<core::Object>& sender) {
                if (auto target = weak.lock()) {
                    call(*target, sender);
                }
            });
        }
        if (entry) {
            return makeInterfaceError(InterfaceError::UnknownAction,
                                      owner.className() +
                                          " must be held by a shared_ptr to receive \"" +
                                          std::string(name) + "\"");
        }
        if (base_) {
            return base_->action(owner, name);
        }
        return makeInterfaceError(
            InterfaceError::UnknownAction,
            owner.className() + " has no action \"" + std::string(name) + "\"");
    }

private:
    enum class Kind { Outlet, Action };
    const Entry* find(std::string_view name, Kind kind) const {
        for (const Entry& entry : entries_) {
            bool matches = kind == Kind::Outlet ? bool(entry.set) : bool(entry.call);
            if (matches && entry.name == name) {
                return &entry;
            }
        }
        return nullptr;
    }

    std::vector<Entry> entries_;
    const ConnectionTable* base_;
};

}  // namespace ui
