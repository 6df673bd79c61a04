#include "platform/ui/ImageView.h"

#include <cmath>

#include "platform/ui/Resources.h"

namespace ui {

std::shared_ptr<ImageView> ImageView::create(Rect frame) {
    return std::shared_ptr<ImageView>(new ImageView(frame));
}

std::shared_ptr<ImageView> ImageView::create(std::shared_ptr<Image> image) {
    Rect frame;
    if (image) {
        frame.size = image->size();
    }
    auto view = create(frame);
    view->setImage(std::move(image));
    return view;
}

void ImageView::setAnimationImages(std::vector<std::shared_ptr<Image>> images) {
    animationImages_ = std::move(images);
    animating_ = false;
}

double ImageView::cycleDuration() const {
    if (animationDuration_ > 0) {
        return animationDuration_;
    }
    return static_cast<double>(animationImages_.size()) / 30.0;
}

void ImageView::startAnimating() {
    if (animationImages_.empty()) {
        return;
    }
    animating_ = true;
    animationStart_ = core::Clock::now();
}

void ImageView::stopAnimating() {
    animating_ = false;
}

bool ImageView::isAnimating() const {
    if (!animating_ || animationImages_.empty()) {
        return false;
    }
    if (animationRepeatCount_ == 0) {
        return true;
    }
    double elapsed = (core::Clock::now() - animationStart_).count();
    return elapsed < cycleDuration() * animationRepeatCount_;
}

std::shared_ptr<Image> ImageView::displayedImage() const {
    if (!isAnimating()) {
        return image_;
    }
    double cycle = cycleDuration();
    double elapsed = (core::Clock::now() - animationStart_).count();
    double phase = cycle > 0 ? std::fmod(elapsed, cycle) / cycle : 0;
    auto index = static_cast<std::size_t>(phase * static_cast<double>(animationImages_.size()));
    return animationImages_[std::min(index, animationImages_.size() - 1)];
}

core::Expected<void> ImageView::setAttribute(const InterfaceValue& value) {
    if (value.key() == "image") {
        auto image = Resources::image(value.text());
        if (!image) {
            return image.error();
        }
        setImage(*image);
        return {};
    }
    return View::setAttribute(value);
}

std::string ImageView::stateDescription() const {
    if (isAnimating()) {
        return "animating " + std::to_string(animationImages_.size()) + " images";
    }
    if (!image_) {
        return "no image";
    }
    Size size = image_->size();
    return "image " + std::to_string(static_cast<int>(size.width)) + "x" +
           std::to_string(static_cast<int>(size.height));
}

}  // namespace ui
