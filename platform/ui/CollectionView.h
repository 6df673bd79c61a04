#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/FlowLayout.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/Nib.h"
#include "platform/ui/View.h"

namespace ui {

class CollectionView;

class CollectionViewDataSource {
public:
    virtual ~CollectionViewDataSource() = default;
    virtual int numberOfSectionsInCollectionView(CollectionView&) { return 1; }
    virtual int numberOfItemsInSection(CollectionView&, int section) = 0;
    // Usually a cell from dequeueReusableCell(), filled for the item.
    virtual CollectionViewCellPtr cellForItemAtIndexPath(CollectionView&, const IndexPath&) = 0;
};

class CollectionViewDelegate {
public:
    virtual ~CollectionViewDelegate() = default;
    virtual void didSelectItemAtIndexPath(CollectionView&, const IndexPath&) {}
    virtual void didDeselectItemAtIndexPath(CollectionView&, const IndexPath&) {}
};

// A delegate that also sizes the items of a flow layout; empty answers keep the layout's own.
class CollectionViewDelegateFlowLayout : public CollectionViewDelegate {
public:
    virtual std::optional<Size> sizeForItemAtIndexPath(CollectionView&, FlowLayout&,
                                                       const IndexPath&) {
        return std::nullopt;
    }
    virtual std::optional<EdgeInsets> insetForSectionAtIndex(CollectionView&, FlowLayout&, int) {
        return std::nullopt;
    }
};

// A scrolling grid of reusable cells fed by a data source and laid out by a flow layout.
// Only the cells inside the visible rectangle exist as subviews.
class CollectionView : public View {
public:
    using CellFactory = std::function<CollectionViewCellPtr(Rect frame)>;

    static std::shared_ptr<CollectionView> create(Rect frame = {},
                                                  std::shared_ptr<FlowLayout> layout = nullptr);

    std::shared_ptr<FlowLayout> collectionViewLayout() const { return layout_; }
    void setDataSource(std::weak_ptr<CollectionViewDataSource> dataSource) {
        dataSource_ = std::move(dataSource);
    }
    void setDelegate(std::weak_ptr<CollectionViewDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<CollectionViewDataSource> dataSource() const { return dataSource_.lock(); }
    std::shared_ptr<CollectionViewDelegate> delegate() const { return delegate_.lock(); }
    std::shared_ptr<CollectionViewDelegateFlowLayout> flowLayoutDelegate() const;

    // Cells for `identifier` are made by `factory` (registerClass:) or built from `nib`
    // (registerNib:), whose top object must be a cell; a later registration replaces an
    // earlier one for the same identifier.
    void registerClass(CellFactory factory, const std::string& identifier);
    template <class T>
    void registerClass(const std::string& identifier) {
        registerClass([](Rect frame) -> CollectionViewCellPtr { return T::create(frame); },
                      identifier);
    }
    void registerNib(NibPtr nib, const std::string& identifier);
    // A queued cell for `identifier`, or a new one; null (and a log line) when nothing is
    // registered for it or its description fails to build.
    CollectionViewCellPtr dequeueReusableCell(const std::string& identifier,
                                              const IndexPath& indexPath);

    // Asks the data source again for everything and rebuilds every visible cell.
    void reloadData();
    int numberOfSections() const;
    int numberOfItemsInSection(int section) const;

    Point contentOffset() const { return contentOffset_; }
    void setContentOffset(Point offset);
    Size contentSize() const { return layout_->contentSize(); }
    std::optional<Rect> frameForItem(const IndexPath& indexPath) const;

    // The cell showing the item, if it is visible.
    CollectionViewCellPtr cellForItem(const IndexPath& indexPath) const;
    std::vector<IndexPath> indexPathsForVisibleItems() const;
    std::optional<IndexPath> indexPathForCell(const CollectionViewCell& cell) const;

    std::vector<IndexPath> indexPathsForSelectedItems() const;
    // Programmatic selection: no delegate call.
    void selectItem(const IndexPath& indexPath);
    void deselectItem(const IndexPath& indexPath);
    // What a touch on an item does: it becomes the one selected item and the delegate hears
    // of the deselection of the previous one and of the selection.
    void touchItem(const IndexPath& indexPath);

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    CollectionView(Rect frame, std::shared_ptr<FlowLayout> layout);

private:
    void recycleVisibleCells();
    void layoutVisibleCells();
    Rect visibleRect() const;
    CollectionViewCellPtr makeCell(const std::string& identifier);

    std::shared_ptr<FlowLayout> layout_;
    std::weak_ptr<CollectionViewDataSource> dataSource_;
    std::weak_ptr<CollectionViewDelegate> delegate_;
    std::map<std::string, CellFactory> factories_;
    std::map<std::string, std::vector<CollectionViewCellPtr>> reuseQueues_;
    std::map<IndexPath, CollectionViewCellPtr> visibleCells_;
    std::set<IndexPath> selected_;
    std::vector<int> itemCounts_;  // per section, as of the last reload
    Point contentOffset_;
};

}  // namespace ui
