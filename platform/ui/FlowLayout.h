#pragma once

#include <memory>
#include <vector>

#include "platform/core/Object.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/IndexPath.h"

namespace ui {

class CollectionView;

// Lays items out in rows, left to right, wrapping to a new row when the next item does not
// fit; sections follow one another downwards. Item sizes and section insets come from the
// collection view's delegate when it answers, else from the layout's own values.
class FlowLayout : public core::Object {
public:
    struct ItemFrame {
        IndexPath indexPath;
        Rect frame;  // in content coordinates
    };

    static std::shared_ptr<FlowLayout> create();

    Size itemSize() const { return itemSize_; }
    void setItemSize(Size size) { itemSize_ = size; }
    EdgeInsets sectionInset() const { return sectionInset_; }
    void setSectionInset(EdgeInsets insets) { sectionInset_ = insets; }
    double minimumInteritemSpacing() const { return interitemSpacing_; }
    void setMinimumInteritemSpacing(double spacing) { interitemSpacing_ = spacing; }
    double minimumLineSpacing() const { return lineSpacing_; }
    void setMinimumLineSpacing(double spacing) { lineSpacing_ = spacing; }

    // Computes every item's frame for the collection view's current data.
    void prepare(CollectionView& collectionView);
    const std::vector<ItemFrame>& itemFrames() const { return frames_; }
    Size contentSize() const { return contentSize_; }

private:
    FlowLayout() = default;
    double layoutSection(CollectionView& collectionView, int section, double top);

    Size itemSize_{50, 50};
    EdgeInsets sectionInset_;
    double interitemSpacing_ = 10;
    double lineSpacing_ = 10;
    std::vector<ItemFrame> frames_;
    Size contentSize_;
};

}  // namespace ui
