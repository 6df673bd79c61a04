#pragma once

#include <string>

#include "platform/ui/View.h"

namespace ui {

// One item of a collection view. Cells are reused: a cell that scrolls away or is dropped by
// reloadData goes back to its identifier's queue and comes out again for another item.
class CollectionViewCell : public View {
public:
    static std::shared_ptr<CollectionViewCell> create(Rect frame = {});

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }

    // Called as the cell is taken from the reuse queue; subclasses clear per-item state.
    virtual void prepareForReuse() { selected_ = false; }

    std::string stateDescription() const override;

protected:
    explicit CollectionViewCell(Rect frame) : View(frame) {}

private:
    friend class CollectionView;
    std::string reuseIdentifier_;
    bool selected_ = false;
};

using CollectionViewCellPtr = std::shared_ptr<CollectionViewCell>;

}  // namespace ui
