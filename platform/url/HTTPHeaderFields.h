#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace url {

// HTTP header fields: names compared without regard to case, kept in the order first set and
// in the spelling first used.
class HTTPHeaderFields {
public:
    using Entry = std::pair<std::string, std::string>;

    HTTPHeaderFields() = default;
    HTTPHeaderFields(std::initializer_list<Entry> entries);

    // Replaces the value; a new name goes last.
    void set(std::string_view name, std::string value);
    // Appends to an existing value with ", " (how repeated fields combine), or adds it.
    void add(std::string_view name, std::string_view value);
    void remove(std::string_view name);

    std::optional<std::string> get(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name) != nullptr; }

    const std::vector<Entry>& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    static bool namesEqual(std::string_view a, std::string_view b);

private:
    const Entry* find(std::string_view name) const;
    Entry* find(std::string_view name);

    std::vector<Entry> entries_;
};

}  // namespace url
