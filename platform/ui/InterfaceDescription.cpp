#include "platform/ui/InterfaceDescription.h"

#include <cctype>
#include <optional>

#include "platform/ui/InterfaceError.h"

namespace ui {

namespace {

class LineParser {
public:
    LineParser(std::string_view line, std::string& error) : line_(line), error_(error) {}

    std::optional<InterfaceDescription::Element> parse() {
        InterfaceDescription::Element element;
        element.className = word();
        if (element.className.empty() ||
            !std::isupper(static_cast<unsigned char>(element.className[0]))) {
            error_ = "expected a class name at the start of the line";
            return std::nullopt;
        }
        while (skipSpaces()) {
            std::string key = word();
            if (key.empty() || at() != '=') {
                error_ = "expected key=value after \"" + element.className + "\"";
                return std::nullopt;
            }
            ++position_;
            auto value = at() == '"' ? quoted() : std::optional<std::string>(bare());
            if (!value) {
                return std::nullopt;
            }
            for (const auto& existing : element.attributes) {
                if (existing.key() == key) {
                    error_ = "property \"" + key + "\" is given twice";
                    return std::nullopt;
                }
            }
            element.attributes.emplace_back(key, *value);
        }
        return element;
    }

private:
    char at() const { return position_ < line_.size() ? line_[position_] : '\0'; }

    bool skipSpaces() {
        while (at() == ' ') {
            ++position_;
        }
        return position_ < line_.size();
    }

    std::string word() {
        std::size_t start = position_;
        while (std::isalnum(static_cast<unsigned char>(at())) || at() == '_') {
            ++position_;
        }
        return std::string(line_.substr(start, position_ - start));
    }

    std::string bare() {
        std::size_t start = position_;
        while (position_ < line_.size() && at() != ' ') {
            ++position_;
        }
        return std::string(line_.substr(start, position_ - start));
    }

    std::optional<std::string> quoted() {
        std::string value;
        ++position_;
        while (position_ < line_.size() && at() != '"') {
            if (at() == '\\' && position_ + 1 < line_.size()) {
                ++position_;
                value += at() == 'n' ? '\n' : at();
            } else {
                value += at();
            }
            ++position_;
        }
        if (at() != '"') {
            error_ = "a quoted text is not closed";
            return std::nullopt;
        }
        ++position_;
        return value;
    }

    std::string_view line_;
    std::size_t position_ = 0;
    std::string& error_;
};

struct Pending {
    std::size_t indent;
    InterfaceDescription::Element element;
};

// Folds the innermost open element into its parent.
void closeInnermost(std::vector<Pending>& open) {
    auto element = std::move(open.back().element);
    open.pop_back();
    open.back().element.children.push_back(std::move(element));
}

}  // namespace

core::Expected<InterfaceDescription> InterfaceDescription::parse(std::string name,
                                                                 std::string_view text) {
    auto fail = [&name](int line, const std::string& message) {
        return makeInterfaceError(InterfaceError::Syntax, "interface description \"" + name +
                                                              "\", line " + std::to_string(line) +
                                                              ": " + message);
    };
    std::vector<Pending> open;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::size_t indent = line.find_first_not_of(' ');
        if (indent == std::string_view::npos || line[indent] == '#') {
            continue;
        }
        if (line[indent] == '\t') {
            return fail(lineNumber, "indent with spaces, not tabs");
        }
        std::string error;
        auto element = LineParser(line.substr(indent), error).parse();
        if (!element) {
            return fail(lineNumber, error);
        }
        element->line = lineNumber;
        while (!open.empty() && open.back().indent >= indent) {
            if (open.size() == 1) {
                return fail(lineNumber, "only one top-level element is allowed (\"" +
                                            open.front().element.className + "\" is the first)");
            }
            closeInnermost(open);
        }
        open.push_back(Pending{indent, std::move(*element)});
    }
    if (open.empty()) {
        return fail(lineNumber, "the description is empty");
    }
    while (open.size() > 1) {
        closeInnermost(open);
    }
    return InterfaceDescription(std::move(name), std::move(open.front().element));
}

}  // namespace ui
