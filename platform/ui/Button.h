#pragma once

#include <map>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/ResizableImage.h"

namespace ui {

// A push button with a title, an image and a background image per control state; a state
// without its own value shows the normal state's.
class Button : public Control {
public:
    static std::shared_ptr<Button> create(Rect frame = {});

    void setTitle(std::string title, ControlState state = ControlState::Normal);
    std::string title(ControlState state = ControlState::Normal) const;
    std::string currentTitle() const { return title(state()); }

    void setImage(std::shared_ptr<Image> image, ControlState state = ControlState::Normal);
    std::shared_ptr<Image> image(ControlState state = ControlState::Normal) const;

    void setBackgroundImage(ResizableImage image, ControlState state = ControlState::Normal);
    ResizableImage backgroundImage(ControlState state = ControlState::Normal) const;
    ResizableImage currentBackgroundImage() const { return backgroundImage(state()); }

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit Button(Rect frame) : Control(frame) {}

private:
    template <class Map>
    static typename Map::mapped_type lookup(const Map& map, ControlState state);

    std::map<ControlState, std::string> titles_;
    std::map<ControlState, std::shared_ptr<Image>> images_;
    std::map<ControlState, ResizableImage> backgrounds_;
};

}  // namespace ui
