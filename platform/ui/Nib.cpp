#include "platform/ui/Nib.h"

#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/Control.h"
#include "platform/ui/InterfaceError.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Resources.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewClassRegistry.h"

namespace ui {

namespace {

using Element = InterfaceDescription::Element;

bool isConnection(const std::string& key) {
    return key == "outlet" || key == "action" || key == "dataSource" || key == "delegate";
}

struct Built {
    std::shared_ptr<core::Object> object;
    const Element* element;
};

class Builder {
public:
    explicit Builder(const std::string& name) : name_(name) {}

    core::Expected<std::shared_ptr<core::Object>> build(const Element& element);
    core::Expected<void> connect(Responder* owner);

private:
    core::Error located(const Element& element, const core::Error& error) const;
    core::Error located(const Element& element, InterfaceError code,
                        const std::string& message) const;
    core::Expected<void> apply(const std::shared_ptr<core::Object>& object,
                               const InterfaceValue& value);
    core::Expected<void> adopt(const std::shared_ptr<core::Object>& parent,
                               const std::shared_ptr<core::Object>& child,
                               std::vector<BarButtonItemPtr>& items);
    core::Expected<void> connectOne(Responder& owner, const Built& built,
                                    const InterfaceValue& value);

    const std::string& name_;
    std::vector<Built> built_;
};

core::Error Builder::located(const Element& element, const core::Error& error) const {
    return makeInterfaceError(static_cast<InterfaceError>(error.code()),
                              "interface description \"" + name_ + "\", line " +
                                  std::to_string(element.line) + ": " +
                                  error.localizedDescription());
}

core::Error Builder::located(const Element& element, InterfaceError code,
                             const std::string& message) const {
    return located(element, makeInterfaceError(code, message));
}

core::Expected<void> Builder::apply(const std::shared_ptr<core::Object>& object,
                                    const InterfaceValue& value) {
    if (auto view = std::dynamic_pointer_cast<View>(object)) {
        return view->setAttribute(value);
    }
    if (auto item = std::dynamic_pointer_cast<BarButtonItem>(object)) {
        return item->setAttribute(value);
    }
    return makeInterfaceError(InterfaceError::UnknownProperty,
                              "this object takes no property \"" + value.key() + "\"");
}

core::Expected<void> Builder::adopt(const std::shared_ptr<core::Object>& parent,
                                    const std::shared_ptr<core::Object>& child,
                                    std::vector<BarButtonItemPtr>& items) {
    auto item = std::dynamic_pointer_cast<BarButtonItem>(child);
    if (item && std::dynamic_pointer_cast<Toolbar>(parent)) {
        items.push_back(item);
        return {};
    }
    auto parentView = std::dynamic_pointer_cast<View>(parent);
    auto childView = std::dynamic_pointer_cast<View>(child);
    if (parentView && childView) {
        parentView->addSubview(childView);
        return {};
    }
    return makeInterfaceError(InterfaceError::UnknownClass, "this element cannot hold that child");
}

core::Expected<std::shared_ptr<core::Object>> Builder::build(const Element& element) {
    auto object = ViewClassRegistry::make(element.className);
    if (!object) {
        return located(element, InterfaceError::UnknownClass,
                       "unknown class \"" + element.className + "\"");
    }
    for (const auto& value : element.attributes) {
        if (isConnection(value.key())) {
            continue;
        }
        if (auto applied = apply(object, value); !applied) {
            return located(element, applied.error());
        }
    }
    built_.push_back(Built{object, &element});
    std::vector<BarButtonItemPtr> items;
    for (const auto& childElement : element.children) {
        auto child = build(childElement);
        if (!child) {
            return child.error();
        }
        if (auto adopted = adopt(object, *child, items); !adopted) {
            return located(childElement, InterfaceError::UnknownClass,
                           "a " + element.className + " cannot hold a " + childElement.className);
        }
    }
    if (auto toolbar = std::dynamic_pointer_cast<Toolbar>(object)) {
        toolbar->setItems(std::move(items));
    }
    return object;
}

core::Expected<void> Builder::connectOne(Responder& owner, const Built& built,
                                         const InterfaceValue& value) {
    const ConnectionTable* table = owner.connectionTable();
    const std::string& key = value.key();
    if (key == "outlet") {
        if (!table) {
            return makeInterfaceError(
                InterfaceError::UnknownOutlet,
                owner.className() + " has no outlet \"" + value.text() + "\"");
        }
        if (auto set = table->setOutlet(owner, value.text(), built.object); !set) {
            return set.error();
        }
        auto view = std::dynamic_pointer_cast<View>(built.object);
        if (view && view->identifier().empty()) {
            view->setIdentifier(value.text());
        }
        auto item = std::dynamic_pointer_cast<BarButtonItem>(built.object);
        if (item && item->identifier().empty()) {
            item->setIdentifier(value.text());
        }
        return {};
    }
    if (key == "action") {
        if (!table) {
            return makeInterfaceError(
                InterfaceError::UnknownAction,
                owner.className() + " has no action \"" + value.text() + "\"");
        }
        auto handler = table->action(owner, value.text());
        if (!handler) {
            return handler.error();
        }
        if (auto control = std::dynamic_pointer_cast<Control>(built.object)) {
            control->addAction(*handler);
            return {};
        }
        if (auto item = std::dynamic_pointer_cast<BarButtonItem>(built.object)) {
            item->setAction(*handler);
            return {};
        }
        return makeInterfaceError(InterfaceError::UnknownAction,
                                  built.element->className + " sends no actions");
    }
    // dataSource / delegate of a collection view
    auto collection = std::dynamic_pointer_cast<CollectionView>(built.object);
    if (!collection || value.text() != "owner") {
        return makeInterfaceError(InterfaceError::BadValue,
                                  "\"" + key + "\" connects a CollectionView to owner");
    }
    auto strongOwner = owner.weak_from_this().lock();
    if (key == "dataSource") {
        auto source = std::dynamic_pointer_cast<CollectionViewDataSource>(strongOwner);
        if (!source) {
            return makeInterfaceError(InterfaceError::OutletTypeMismatch,
                                      owner.className() + " is no collection view data source");
        }
        collection->setDataSource(source);
        return {};
    }
    auto delegate = std::dynamic_pointer_cast<CollectionViewDelegate>(strongOwner);
    if (!delegate) {
        return makeInterfaceError(InterfaceError::OutletTypeMismatch,
                                  owner.className() + " is no collection view delegate");
    }
    collection->setDelegate(delegate);
    return {};
}

core::Expected<void> Builder::connect(Responder* owner) {
    for (const auto& built : built_) {
        for (const auto& value : built.element->attributes) {
            if (!isConnection(value.key())) {
                continue;
            }
            if (!owner) {
                return located(*built.element, InterfaceError::UnknownOutlet,
                               "\"" + value.key() + "\" needs an owner to connect to");
            }
            if (auto connected = connectOne(*owner, built, value); !connected) {
                return located(*built.element, connected.error());
            }
        }
    }
    return {};
}

}  // namespace

core::Expected<std::shared_ptr<Nib>> Nib::named(std::string_view name) {
    auto text = Resources::data(std::string(name) + ".ui");
    if (!text) {
        return makeInterfaceError(InterfaceError::MissingResource,
                                  "interface description \"" + std::string(name) +
                                      "\": " + text.error().localizedDescription());
    }
    return fromText(std::string(name), core::stringFromBytes(*text));
}

core::Expected<std::shared_ptr<Nib>> Nib::fromText(std::string name, std::string_view text) {
    auto parsed = InterfaceDescription::parse(std::move(name), text);
    if (!parsed) {
        return parsed.error();
    }
    return std::shared_ptr<Nib>(new Nib(std::move(*parsed)));
}

core::Expected<std::shared_ptr<core::Object>> Nib::instantiate(Responder* owner) const {
    assertMainThread();
    Builder builder(name());
    auto root = builder.build(description_.root());
    if (!root) {
        return root.error();
    }
    Responder* connectTo = owner ? owner : dynamic_cast<Responder*>(root->get());
    if (auto connected = builder.connect(connectTo); !connected) {
        return connected.error();
    }
    return *root;
}

core::Expected<std::shared_ptr<View>> Nib::instantiateView(Responder* owner) const {
    auto object = instantiate(owner);
    if (!object) {
        return object.error();
    }
    auto view = std::dynamic_pointer_cast<View>(*object);
    if (!view) {
        return makeInterfaceError(InterfaceError::UnknownClass,
                                  "interface description \"" + name() + "\": the top element \"" +
                                      description_.root().className + "\" is not a view");
    }
    return view;
}

std::string Nib::description() const {
    return "<Nib " + name() + ">";
}

}  // namespace ui
