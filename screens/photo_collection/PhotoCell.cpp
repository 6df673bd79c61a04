#include "screens/photo_collection/PhotoCell.h"

#include "platform/ui/ConnectionTable.h"
#include "platform/ui/ViewClassRegistry.h"

namespace app {

std::shared_ptr<PhotoCell> PhotoCell::create(ui::Rect frame) {
    return std::shared_ptr<PhotoCell>(new PhotoCell(frame));
}

void PhotoCell::registerClass() {
    if (!ui::ViewClassRegistry::contains("PhotoCell")) {
        ui::ViewClassRegistry::add<PhotoCell>("PhotoCell");
    }
}

const ui::ConnectionTable* PhotoCell::connectionTable() const {
    using Table = ui::OutletTable<PhotoCell>;
    static const Table table{Table::outlet("imageView", &PhotoCell::imageView_)};
    return &table;
}

void PhotoCell::setPhoto(const ui::ImagePtr& photo) {
    if (imageView_) {
        imageView_->setImage(photo);
    }
}

}  // namespace app
