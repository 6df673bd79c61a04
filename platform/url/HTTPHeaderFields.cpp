#include "platform/url/HTTPHeaderFields.h"

#include <algorithm>

namespace url {

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Entry> entries) {
    for (const auto& [name, value] : entries) {
        set(name, value);
    }
}

// Field names are ASCII tokens: folded without the locale, whatever the process has set.
bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

const HTTPHeaderFields::Entry* HTTPHeaderFields::find(std::string_view name) const {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& entry) { return namesEqual(entry.first, name); });
    return found == entries_.end() ? nullptr : &*found;
}

HTTPHeaderFields::Entry* HTTPHeaderFields::find(std::string_view name) {
    return const_cast<Entry*>(std::as_const(*this).find(name));
}

void HTTPHeaderFields::set(std::string_view name, std::string value) {
    if (Entry* entry = find(name)) {
        entry->second = std::move(value);
    } else {
        entries_.emplace_back(std::string(name), std::move(value));
    }
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
    if (Entry* entry = find(name)) {
        entry->second.append(", ").append(value);
    } else {
        entries_.emplace_back(std::string(name), std::string(value));
    }
}

void HTTPHeaderFields::remove(std::string_view name) {
    std::erase_if(entries_, [&](const Entry& entry) { return namesEqual(entry.first, name); });
}

std::optional<std::string> HTTPHeaderFields::get(std::string_view name) const {
    const Entry* entry = find(name);
    return entry ? std::optional<std::string>(entry->second) : std::nullopt;
}

}  // namespace url
