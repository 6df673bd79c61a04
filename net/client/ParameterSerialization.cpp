#include "net/client/ParameterSerialization.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>

namespace net {

namespace {

using Json = nlohmann::ordered_json;

std::optional<Json> toJSON(const core::Value& value) {
    using Kind = core::Value::Kind;
    switch (value.kind()) {
        case Kind::Null:
            return Json(nullptr);
        case Kind::Boolean:
            return Json(*value.asBool());
        case Kind::Integer:
            return Json(*value.asInteger());
        case Kind::Double: {
            const double number = *value.asDouble();
            return std::isfinite(number) ? std::optional<Json>(Json(number)) : std::nullopt;
        }
        case Kind::String:
            return Json(*value.asString());
        case Kind::Bytes:
            return std::nullopt;
        case Kind::List: {
            Json array = Json::array();
            for (const auto& element : *value.asList()) {
                auto converted = toJSON(element);
                if (!converted) {
                    return std::nullopt;
                }
                array.push_back(std::move(*converted));
            }
            return array;
        }
        case Kind::Map: {
            Json object = Json::object();
            for (const auto& [key, element] : *value.asMap()) {
                auto converted = toJSON(element);
                if (!converted) {
                    return std::nullopt;
                }
                object[key] = std::move(*converted);
            }
            return object;
        }
    }
    return std::nullopt;
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistDeleter>;

PlistNode toPlist(const core::Value& value);

PlistNode containerToPlist(const core::Value& value) {
    if (const auto* list = value.asList()) {
        PlistNode array(plist_new_array());
        for (const auto& element : *list) {
            auto converted = toPlist(element);
            if (!converted) {
                return nullptr;
            }
            plist_array_append_item(array.get(), converted.release());
        }
        return array;
    }
    PlistNode dict(plist_new_dict());
    for (const auto& [key, element] : *value.asMap()) {
        auto converted = toPlist(element);
        if (!converted) {
            return nullptr;
        }
        plist_dict_set_item(dict.get(), key.c_str(), converted.release());
    }
    return dict;
}

PlistNode toPlist(const core::Value& value) {
    using Kind = core::Value::Kind;
    switch (value.kind()) {
        case Kind::Null:
            return nullptr;
        case Kind::Boolean:
            return PlistNode(plist_new_bool(*value.asBool() ? 1 : 0));
        case Kind::Integer:
            return PlistNode(plist_new_uint(static_cast<std::uint64_t>(*value.asInteger())));
        case Kind::Double:
            return PlistNode(plist_new_real(*value.asDouble()));
        case Kind::String:
            return PlistNode(plist_new_string(value.asString()->c_str()));
        case Kind::Bytes: {
            const auto* bytes = value.asBytes();
            return PlistNode(
                plist_new_data(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        }
        case Kind::List:
        case Kind::Map:
            return containerToPlist(value);
    }
    return nullptr;
}

}  // namespace

std::optional<std::string> JSONText(const core::Value& tree) {
    auto json = toJSON(tree);
    if (!json) {
        return std::nullopt;
    }
    try {
        return json->dump(-1, ' ', false, Json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // text that is not valid UTF-8
    }
}

std::optional<std::string> propertyListXMLText(const core::Value& tree) {
    auto root = toPlist(tree);
    if (!root) {
        return std::nullopt;
    }
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (xml == nullptr) {
        return std::nullopt;
    }
    std::string text(xml, length);
    std::free(xml);
    return text;
}

}  // namespace net
