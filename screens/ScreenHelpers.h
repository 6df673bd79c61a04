#pragma once

#include <any>
#include <optional>
#include <string>

#include "platform/ui/Button.h"

namespace app {

// An alert titled "Error" with one button and no delegate.
void showErrorAlert(const std::string& message, const std::string& buttonTitle);

// The body an HTTP request operation hands to its success block, read as UTF-8; nothing
// when it is not valid UTF-8 (or not a body at all).
std::optional<std::string> utf8Body(const std::any& responseObject);

// The image resource `name`, stretched with 18-point caps, as `button`'s normal background.
void setStretchedBackground(ui::Button& button, const std::string& name);

// A missing text, as the log writes it.
std::string describeText(const std::optional<std::string>& text);

}  // namespace app
