#pragma once

#include <memory>

#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/ImageView.h"

namespace app {

// A grid cell showing one photo; built from the "PhotoCell" interface description.
class PhotoCell : public ui::CollectionViewCell {
public:
    static std::shared_ptr<PhotoCell> create(ui::Rect frame = {});
    // Makes the class known to interface descriptions; call before loading "PhotoCell".
    static void registerClass();

    const ui::ConnectionTable* connectionTable() const override;

    void setPhoto(const ui::ImagePtr& photo);
    const std::shared_ptr<ui::ImageView>& imageView() const { return imageView_; }

private:
    explicit PhotoCell(ui::Rect frame) : ui::CollectionViewCell(frame) {}

    std::shared_ptr<ui::ImageView> imageView_;
};

}  // namespace app
