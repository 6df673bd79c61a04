#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orderd {

using FormFields = std::map<std::string, std::string>;

// Decodes an application/x-www-form-urlencoded body. A bad escape or a field given twice
// makes the whole body invalid: guessing which value was meant is how credentials get confused.
std::optional<FormFields> decodeUrlEncodedForm(std::string_view body);

}  // namespace orderd
