#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ui/CollectionView.h"
#include "platform/ui/Label.h"

namespace {

using ::testing::ElementsAre;

class NumberCell : public ui::CollectionViewCell {
public:
    static std::shared_ptr<NumberCell> create(ui::Rect frame) {
        auto cell = std::shared_ptr<NumberCell>(new NumberCell(frame));
        ++made;
        return cell;
    }
    void prepareForReuse() override {
        CollectionViewCell::prepareForReuse();
        ++reused;
        text.clear();
    }
    std::string text;
    int reused = 0;
    static inline int made = 0;

private:
    using ui::CollectionViewCell::CollectionViewCell;
};

class Grid : public ui::CollectionViewDataSource, public ui::CollectionViewDelegateFlowLayout {
public:
    int numberOfItemsInSection(ui::CollectionView&, int) override {
        return static_cast<int>(items.size());
    }
    ui::CollectionViewCellPtr cellForItemAtIndexPath(ui::CollectionView& view,
                                                     const ui::IndexPath& indexPath) override {
        auto cell =
            std::static_pointer_cast<NumberCell>(view.dequeueReusableCell("acell", indexPath));
        cell->text = items[static_cast<std::size_t>(indexPath.item)];
        return cell;
    }
    std::optional<ui::Size> sizeForItemAtIndexPath(ui::CollectionView&, ui::FlowLayout&,
                                                   const ui::IndexPath&) override {
        ++sizeQuestions;
        return ui::Size{70, 70};
    }
    std::optional<ui::EdgeInsets> insetForSectionAtIndex(ui::CollectionView&, ui::FlowLayout&,
                                                         int) override {
        return ui::EdgeInsets{50, 20, 50, 20};
    }
    void didSelectItemAtIndexPath(ui::CollectionView&, const ui::IndexPath& indexPath) override {
        events.push_back("select " + std::to_string(indexPath.item));
    }
    void didDeselectItemAtIndexPath(ui::CollectionView&, const ui::IndexPath& indexPath) override {
        events.push_back("deselect " + std::to_string(indexPath.item));
    }

    std::vector<std::string> items;
    std::vector<std::string> events;
    int sizeQuestions = 0;
};

class CollectionViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        NumberCell::made = 0;
        view->registerClass<NumberCell>("acell");
        view->setDataSource(grid);
        view->setDelegate(grid);
    }

    std::string textAt(int item) const {
        auto cell = std::static_pointer_cast<NumberCell>(view->cellForItem({0, item}));
        return cell ? cell->text : "<none>";
    }

    std::shared_ptr<Grid> grid = std::make_shared<Grid>();
    std::shared_ptr<ui::CollectionView> view = ui::CollectionView::create(ui::Rect(0, 0, 320, 400));
};

TEST_F(CollectionViewTest, FlowLayoutUsesTheDelegatesSizesAndInsetsAndWrapsRows) {
    grid->items = {"a", "b", "c", "d", "e"};
    view->reloadData();
    EXPECT_EQ(grid->sizeQuestions, 5);
    // 320 wide with 20 on each side: three 70-point items and two 10-point gaps fit a row.
    EXPECT_EQ(view->frameForItem({0, 0}), ui::Rect(20, 50, 70, 70));
    EXPECT_EQ(view->frameForItem({0, 2}), ui::Rect(180, 50, 70, 70));
    EXPECT_EQ(view->frameForItem({0, 3}), ui::Rect(20, 130, 70, 70));
    EXPECT_EQ(view->contentSize().height, 130 + 70 + 50);
    EXPECT_EQ(view->subviews().size(), 5u);
}

TEST_F(CollectionViewTest, ReloadRebuildsVisibleCellsFromReusedOnes) {
    grid->items = {"a", "b", "c", "d"};
    view->reloadData();
    auto firstCell = view->cellForItem({0, 0});
    EXPECT_EQ(NumberCell::made, 4);

    grid->items.erase(grid->items.begin() + 1);  // "b" removed: later items move up one place
    view->reloadData();
    EXPECT_EQ(NumberCell::made, 4) << "reload takes cells from the reuse queue";
    EXPECT_EQ(textAt(0), "a");
    EXPECT_EQ(textAt(1), "c");
    EXPECT_EQ(textAt(2), "d");
    EXPECT_EQ(textAt(3), "<none>");
    EXPECT_EQ(view->subviews().size(), 3u) << "the cell left over waits in the queue, off screen";
    EXPECT_GE(std::static_pointer_cast<NumberCell>(view->cellForItem({0, 0}))->reused, 1);

    grid->items.clear();
    view->reloadData();
    EXPECT_EQ(view->numberOfSections(), 1);
    EXPECT_EQ(view->numberOfItemsInSection(0), 0);
    EXPECT_TRUE(view->subviews().empty());
    EXPECT_EQ(view->dequeueReusableCell("unregistered", {0, 0}), nullptr);
}

TEST_F(CollectionViewTest, OnlyCellsInTheVisibleRectangleExist) {
    for (int i = 0; i < 30; ++i) {
        grid->items.push_back(std::to_string(i));
    }
    view->reloadData();  // rows of three, 80 points apart, from y = 50; 400 points shown
    EXPECT_EQ(view->indexPathsForVisibleItems().size(), 15u);
    view->setContentOffset(ui::Point{0, 400});
    EXPECT_EQ(textAt(0), "<none>");
    EXPECT_EQ(textAt(15), "15");
    EXPECT_EQ(view->cellForItem({0, 15})->frame().origin.y, 50 + 5 * 80 - 400);
    EXPECT_LE(NumberCell::made, 21) << "cells scrolled away are reused for new ones";
}

TEST_F(CollectionViewTest, TouchesSelectOneItemAndTellTheDelegate) {
    grid->items = {"a", "b", "c"};
    view->reloadData();
    view->touchItem({0, 1});
    view->touchItem({0, 2});
    view->touchItem({0, 7});  // no such item
    EXPECT_THAT(grid->events, ElementsAre("select 1", "deselect 1", "select 2"));
    EXPECT_THAT(view->indexPathsForSelectedItems(), ElementsAre(ui::IndexPath{0, 2}));
    EXPECT_TRUE(view->cellForItem({0, 2})->isSelected());
    EXPECT_FALSE(view->cellForItem({0, 1})->isSelected());
}

}  // namespace
