#include "platform/ui/CollectionView.h"

#include "platform/core/Log.h"
#include "platform/ui/MainThreadPrivate.h"

namespace ui {

CollectionView::CollectionView(Rect frame, std::shared_ptr<FlowLayout> layout)
    : View(frame), layout_(layout ? std::move(layout) : FlowLayout::create()) {}

std::shared_ptr<CollectionView> CollectionView::create(Rect frame,
                                                       std::shared_ptr<FlowLayout> layout) {
    return std::shared_ptr<CollectionView>(new CollectionView(frame, std::move(layout)));
}

std::shared_ptr<CollectionViewDelegateFlowLayout> CollectionView::flowLayoutDelegate() const {
    return std::dynamic_pointer_cast<CollectionViewDelegateFlowLayout>(delegate());
}

void CollectionView::registerClass(CellFactory factory, const std::string& identifier) {
    factories_[identifier] = std::move(factory);
    reuseQueues_.erase(identifier);
}

void CollectionView::registerNib(NibPtr nib, const std::string& identifier) {
    if (!nib) {
        factories_.erase(identifier);
        return;
    }
    registerClass(
        [nib](Rect frame) -> CollectionViewCellPtr {
            auto built = nib->instantiate();
            if (!built) {
                core::log(built.error().localizedDescription());
                return nullptr;
            }
            auto cell = std::dynamic_pointer_cast<CollectionViewCell>(*built);
            if (!cell) {
                core::log("interface description \"" + nib->name() + "\" does not describe a cell");
                return nullptr;
            }
            if (frame.size.width > 0) {
                cell->setFrame(frame);
            }
            return cell;
        },
        identifier);
}

CollectionViewCellPtr CollectionView::makeCell(const std::string& identifier) {
    auto factory = factories_.find(identifier);
    if (factory == factories_.end()) {
        core::log("no cell class or interface description registered for identifier \"" +
                  identifier + "\"");
        return nullptr;
    }
    auto cell = factory->second(Rect{});
    if (cell) {
        cell->reuseIdentifier_ = identifier;
    }
    return cell;
}

CollectionViewCellPtr CollectionView::dequeueReusableCell(const std::string& identifier,
                                                          const IndexPath& indexPath) {
    assertMainThread();
    CollectionViewCellPtr cell;
    auto& queue = reuseQueues_[identifier];
    if (!queue.empty()) {
        cell = queue.back();
        queue.pop_back();
        cell->prepareForReuse();
    } else {
        cell = makeCell(identifier);
    }
    if (cell) {
        if (auto frame = frameForItem(indexPath)) {
            cell->setFrame(*frame);
        }
    }
    return cell;
}

int CollectionView::numberOfSections() const {
    return static_cast<int>(itemCounts_.size());
}

int CollectionView::numberOfItemsInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) {
        return 0;
    }
    return itemCounts_[static_cast<std::size_t>(section)];
}

void CollectionView::recycleVisibleCells() {
    for (auto& [indexPath, cell] : visibleCells_) {
        cell->removeFromSuperview();
        reuseQueues_[cell->reuseIdentifier()].push_back(cell);
    }
    visibleCells_.clear();
}

void CollectionView::reloadData() {
    assertMainThread();
    auto protectedThis = shared_from_this();
    recycleVisibleCells();
    selected_.clear();
    itemCounts_.clear();
    if (auto source = dataSource()) {
        int sections = std::max(0, source->numberOfSectionsInCollectionView(*this));
        for (int section = 0; section < sections; ++section) {
            itemCounts_.push_back(std::max(0, source->numberOfItemsInSection(*this, section)));
        }
    }
    layout_->prepare(*this);
    layoutVisibleCells();
}

Rect CollectionView::visibleRect() const {
    return Rect(contentOffset_, frame().size);
}

std::optional<Rect> CollectionView::frameForItem(const IndexPath& indexPath) const {
    for (const auto& item : layout_->itemFrames()) {
        if (item.indexPath == indexPath) {
            return Rect(item.frame.origin.x - contentOffset_.x,
                        item.frame.origin.y - contentOffset_.y, item.frame.size.width,
                        item.frame.size.height);
        }
    }
    return std::nullopt;
}

namespace {

bool intersects(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

}  // namespace

void CollectionView::layoutVisibleCells() {
    auto source = dataSource();
    Rect visible = visibleRect();
    for (auto it = visibleCells_.begin(); it != visibleCells_.end();) {
        auto frame = frameForItem(it->first);
        if (frame &&
            intersects(Rect(frame->origin.x + contentOffset_.x, frame->origin.y + contentOffset_.y,
                            frame->size.width, frame->size.height),
                       visible)) {
            it->second->setFrame(*frame);
            ++it;
            continue;
        }
        it->second->removeFromSuperview();
        reuseQueues_[it->second->reuseIdentifier()].push_back(it->second);
        it = visibleCells_.erase(it);
    }
    if (!source) {
        return;
    }
    for (const auto& item : layout_->itemFrames()) {
        if (!intersects(item.frame, visible) || visibleCells_.count(item.indexPath)) {
            continue;
        }
        auto cell = source->cellForItemAtIndexPath(*this, item.indexPath);
        if (!cell) {
            continue;
        }
        cell->setFrame(*frameForItem(item.indexPath));
        cell->setSelected(selected_.count(item.indexPath) > 0);
        addSubview(cell);
        visibleCells_[item.indexPath] = cell;
    }
}

void CollectionView::setContentOffset(Point offset) {
    contentOffset_ = offset;
    layoutVisibleCells();
}

CollectionViewCellPtr CollectionView::cellForItem(const IndexPath& indexPath) const {
    auto found = visibleCells_.find(indexPath);
    return found == visibleCells_.end() ? nullptr : found->second;
}

std::vector<IndexPath> CollectionView::indexPathsForVisibleItems() const {
    std::vector<IndexPath> result;
    for (const auto& [indexPath, cell] : visibleCells_) {
        result.push_back(indexPath);
    }
    return result;
}

std::optional<IndexPath> CollectionView::indexPathForCell(const CollectionViewCell& cell) const {
    for (const auto& [indexPath, visible] : visibleCells_) {
        if (visible.get() == &cell) {
            return indexPath;
        }
    }
    return std::nullopt;
}

std::vector<IndexPath> CollectionView::indexPathsForSelectedItems() const {
    return {selected_.begin(), selected_.end()};
}

void CollectionView::selectItem(const IndexPath& indexPath) {
    if (indexPath.item < 0 || indexPath.item >= numberOfItemsInSection(indexPath.section)) {
        return;
    }
    selected_.insert(indexPath);
    if (auto cell = cellForItem(indexPath)) {
        cell->setSelected(true);
    }
}

void CollectionView::deselectItem(const IndexPath& indexPath) {
    selected_.erase(indexPath);
    if (auto cell = cellForItem(indexPath)) {
        cell->setSelected(false);
    }
}

void CollectionView::touchItem(const IndexPath& indexPath) {
    assertMainThread();
    if (indexPath.item < 0 || indexPath.item >= numberOfItemsInSection(indexPath.section)) {
        return;
    }
    auto protectedThis = shared_from_this();
    auto previous = indexPathsForSelectedItems();
    for (const auto& old : previous) {
        if (old != indexPath) {
            deselectItem(old);
            if (auto listener = delegate()) {
                listener->didDeselectItemAtIndexPath(*this, old);
            }
        }
    }
    selectItem(indexPath);
    if (auto listener = delegate()) {
        listener->didSelectItemAtIndexPath(*this, indexPath);
    }
}

core::Expected<void> CollectionView::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "itemSize") {
        return applyValue(value.asSize(), [this](Size size) { layout_->setItemSize(size); });
    }
    if (key == "sectionInset") {
        return applyValue(value.asInsets(),
                          [this](EdgeInsets insets) { layout_->setSectionInset(insets); });
    }
    if (key == "interitemSpacing") {
        return applyValue(value.asNumber(),
                          [this](double spacing) { layout_->setMinimumInteritemSpacing(spacing); });
    }
    if (key == "lineSpacing") {
        return applyValue(value.asNumber(),
                          [this](double spacing) { layout_->setMinimumLineSpacing(spacing); });
    }
    return View::setAttribute(value);
}

std::string CollectionView::stateDescription() const {
    int total = 0;
    for (int count : itemCounts_) {
        total += count;
    }
    return std::to_string(total) + " items, " + std::to_string(visibleCells_.size()) + " visible";
}

}  // namespace ui
