#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/CollectionView.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"

namespace ui {

class ImagePickerController;

// The image picker's library screen: a grid of thumbnails of the photo library. A tap on a
// thumbnail picks that picture. The grid is read from the folder each time it appears.
class PhotoGridViewController : public ViewController,
                                public CollectionViewDataSource,
                                public CollectionViewDelegateFlowLayout {
public:
    static std::shared_ptr<PhotoGridViewController> create(
        std::weak_ptr<ImagePickerController> picker);

    std::shared_ptr<CollectionView> collectionView() const { return grid_; }
    const std::vector<std::filesystem::path>& items() const { return items_; }

    void viewWillAppear(Animated animated) override;

    int numberOfItemsInSection(CollectionView&, int section) override;
    CollectionViewCellPtr cellForItemAtIndexPath(CollectionView&, const IndexPath&) override;
    std::optional<Size> sizeForItemAtIndexPath(CollectionView&, FlowLayout&,
                                               const IndexPath&) override;
    void didSelectItemAtIndexPath(CollectionView&, const IndexPath&) override;

    static constexpr double kThumbnailSize = 75;

protected:
    std::shared_ptr<View> loadView() override;

private:
    explicit PhotoGridViewController(std::weak_ptr<ImagePickerController> picker);
    ImagePtr thumbnail(const std::filesystem::path& file);

    std::weak_ptr<ImagePickerController> picker_;
    std::shared_ptr<CollectionView> grid_;
    std::vector<std::filesystem::path> items_;
    std::map<std::filesystem::path, ImagePtr> images_;
};

}  // namespace ui
