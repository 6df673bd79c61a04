#include "platform/ui/FlowLayout.h"

#include <algorithm>

#include "platform/ui/CollectionView.h"

namespace ui {

std::shared_ptr<FlowLayout> FlowLayout::create() {
    return std::shared_ptr<FlowLayout>(new FlowLayout());
}

void FlowLayout::prepare(CollectionView& collectionView) {
    frames_.clear();
    double top = 0;
    int sections = collectionView.numberOfSections();
    for (int section = 0; section < sections; ++section) {
        top = layoutSection(collectionView, section, top);
    }
    contentSize_ = Size{collectionView.bounds().width(), top};
}

double FlowLayout::layoutSection(CollectionView& collectionView, int section, double top) {
    auto delegate = collectionView.flowLayoutDelegate();
    EdgeInsets insets = sectionInset_;
    if (delegate) {
        insets = delegate->insetForSectionAtIndex(collectionView, *this, section).value_or(insets);
    }
    double width = collectionView.bounds().width();
    double x = insets.left;
    double y = top + insets.top;
    double rowHeight = 0;
    int items = collectionView.numberOfItemsInSection(section);
    for (int item = 0; item < items; ++item) {
        IndexPath indexPath{section, item};
        Size size = itemSize_;
        if (delegate) {
            size =
                delegate->sizeForItemAtIndexPath(collectionView, *this, indexPath).value_or(size);
        }
        bool rowHasItems = x > insets.left;
        if (rowHasItems && x + size.width > width - insets.right) {
            x = insets.left;
            y += rowHeight + lineSpacing_;
            rowHeight = 0;
        }
        frames_.push_back(ItemFrame{indexPath, Rect(x, y, size.width, size.height)});
        x += size.width + interitemSpacing_;
        rowHeight = std::max(rowHeight, size.height);
    }
    return y + rowHeight + insets.bottom;
}

}  // namespace ui
