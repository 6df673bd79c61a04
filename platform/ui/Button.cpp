#include "platform/ui/Button.h"

#include "platform/ui/Label.h"
#include "platform/ui/Resources.h"

namespace ui {

std::shared_ptr<Button> Button::create(Rect frame) {
    return std::shared_ptr<Button>(new Button(frame));
}

template <class Map>
typename Map::mapped_type Button::lookup(const Map& map, ControlState state) {
    if (auto found = map.find(state); found != map.end()) {
        return found->second;
    }
    if (auto normal = map.find(ControlState::Normal); normal != map.end()) {
        return normal->second;
    }
    return {};
}

void Button::setTitle(std::string title, ControlState state) {
    titles_[state] = std::move(title);
}

std::string Button::title(ControlState state) const {
    return lookup(titles_, state);
}

void Button::setImage(std::shared_ptr<Image> image, ControlState state) {
    images_[state] = std::move(image);
}

std::shared_ptr<Image> Button::image(ControlState state) const {
    return lookup(images_, state);
}

void Button::setBackgroundImage(ResizableImage image, ControlState state) {
    backgrounds_[state] = std::move(image);
}

ResizableImage Button::backgroundImage(ControlState state) const {
    return lookup(backgrounds_, state);
}

core::Expected<void> Button::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "title") {
        setTitle(value.text());
        return {};
    }
    if (key == "image" || key == "backgroundImage") {
        auto image = Resources::image(value.text());
        if (!image) {
            return image.error();
        }
        if (key == "image") {
            setImage(*image);
        } else {
            setBackgroundImage(ResizableImage(*image, backgroundImage().capInsets));
        }
        return {};
    }
    if (key == "backgroundCaps") {
        return applyValue(value.asInsets(), [this](EdgeInsets caps) {
            setBackgroundImage(ResizableImage(backgroundImage().image, caps));
        });
    }
    return Control::setAttribute(value);
}

std::string Button::stateDescription() const {
    return "title=" + quotedForDump(currentTitle()) + enabledDescription();
}

}  // namespace ui
