#include "screens/ScreenHelpers.h"

#include <memory>

#include "platform/core/Bytes.h"
#include "platform/core/Log.h"
#include "platform/core/StringEncoding.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Resources.h"

namespace app {

void showErrorAlert(const std::string& message, const std::string& buttonTitle) {
    ui::AlertView::create("Error", message, {}, buttonTitle)->show();
}

std::optional<std::string> utf8Body(const std::any& responseObject) {
    const auto* body = std::any_cast<std::shared_ptr<const core::Bytes>>(&responseObject);
    if (!body) {
        return std::nullopt;
    }
    if (!*body) {
        return std::string();
    }
    return core::decodeString(**body, core::StringEncoding::UTF8);
}

void setStretchedBackground(ui::Button& button, const std::string& name) {
    auto image = ui::Resources::image(name);
    if (!image) {
        core::log(image.error().localizedDescription());
        return;
    }
    button.setBackgroundImage(ui::resizableImage(*image, ui::EdgeInsets{18, 18, 18, 18}));
}

std::string describeText(const std::optional<std::string>& text) {
    return text ? *text : "(null)";
}

}  // namespace app
