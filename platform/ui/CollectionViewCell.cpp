#include "platform/ui/CollectionViewCell.h"

namespace ui {

std::shared_ptr<CollectionViewCell> CollectionViewCell::create(Rect frame) {
    return std::shared_ptr<CollectionViewCell>(new CollectionViewCell(frame));
}

std::string CollectionViewCell::stateDescription() const {
    return selected_ ? "selected" : "";
}

}  // namespace ui
