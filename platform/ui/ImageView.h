#pragma once

#include <memory>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace ui {

// Shows an image, or cycles through animation images. The animation runs on the run loop's
// clock: which frame is showing is a function of the time since startAnimating(), so a
// renderer and the virtual clock of a test agree on it without any timer.
class ImageView : public View {
public:
    static std::shared_ptr<ImageView> create(Rect frame = {});
    static std::shared_ptr<ImageView> create(std::shared_ptr<Image> image);

    std::shared_ptr<Image> image() const { return image_; }
    void setImage(std::shared_ptr<Image> image) { image_ = std::move(image); }

    const std::vector<std::shared_ptr<Image>>& animationImages() const { return animationImages_; }
    // Setting new images stops a running animation.
    void setAnimationImages(std::vector<std::shared_ptr<Image>> images);
    // Seconds for one cycle through all images; 0 means 1/30 s per image.
    double animationDuration() const { return animationDuration_; }
    void setAnimationDuration(double seconds) { animationDuration_ = seconds; }
    // Cycles to run; 0 repeats for ever.
    int animationRepeatCount() const { return animationRepeatCount_; }
    void setAnimationRepeatCount(int count) { animationRepeatCount_ = count; }

    void startAnimating();
    void stopAnimating();
    // True from startAnimating() until stopAnimating() or the last repeat has run.
    bool isAnimating() const;
    // What is on screen now: the current animation frame while animating, else image().
    std::shared_ptr<Image> displayedImage() const;

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit ImageView(Rect frame) : View(frame) {}

private:
    double cycleDuration() const;

    std::shared_ptr<Image> image_;
    std::vector<std::shared_ptr<Image>> animationImages_;
    double animationDuration_ = 0;
    int animationRepeatCount_ = 0;
    bool animating_ = false;
    core::Clock::TimePoint animationStart_{};
};

}  // namespace ui
