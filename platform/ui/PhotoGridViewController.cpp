#include "platform/ui/PhotoGridViewController.h"

#include "platform/ui/ImagePickerController.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Screen.h"

namespace ui {

namespace {

const char* const kCellIdentifier = "photo";

}  // namespace

PhotoGridViewController::PhotoGridViewController(std::weak_ptr<ImagePickerController> picker)
    : ViewController({}), picker_(std::move(picker)) {}

std::shared_ptr<PhotoGridViewController> PhotoGridViewController::create(
    std::weak_ptr<ImagePickerController> picker) {
    auto controller =
        std::shared_ptr<PhotoGridViewController>(new PhotoGridViewController(std::move(picker)));
    controller->navigationItem()->setTitle("Photos");
    std::weak_ptr<PhotoGridViewController> weak = controller;
    controller->navigationItem()->setRightBarButtonItem(BarButtonItem::create(
        "Cancel", BarButtonItemStyle::Bordered, [weak](const std::shared_ptr<core::Object>&) {
            auto self = weak.lock();
            if (auto picker = self ? self->picker_.lock() : nullptr) {
                picker->cancel();
            }
        }));
    return controller;
}

std::shared_ptr<View> PhotoGridViewController::loadView() {
    grid_ = CollectionView::create(Screen::main().bounds());
    grid_->setIdentifier("photoLibrary");
    grid_->collectionViewLayout()->setSectionInset(EdgeInsets{4, 4, 4, 4});
    grid_->collectionViewLayout()->setMinimumInteritemSpacing(4);
    grid_->collectionViewLayout()->setMinimumLineSpacing(4);
    grid_->registerClass(
        [](Rect frame) -> CollectionViewCellPtr {
            auto cell = CollectionViewCell::create(frame);
            auto image = ImageView::create(Rect(0, 0, kThumbnailSize, kThumbnailSize));
            image->setContentMode(ContentMode::ScaleAspectFill);
            cell->addSubview(image);
            return cell;
        },
        kCellIdentifier);
    auto self = std::dynamic_pointer_cast<PhotoGridViewController>(weak_from_this().lock());
    grid_->setDataSource(self);
    grid_->setDelegate(self);
    return grid_;
}

void PhotoGridViewController::viewWillAppear(Animated animated) {
    ViewController::viewWillAppear(animated);
    items_ = PhotoLibrary::current()->items();
    grid_->reloadData();
}

int PhotoGridViewController::numberOfItemsInSection(CollectionView&, int) {
    return static_cast<int>(items_.size());
}

ImagePtr PhotoGridViewController::thumbnail(const std::filesystem::path& file) {
    auto cached = images_.find(file);
    if (cached != images_.end()) {
        return cached->second;
    }
    auto image = PhotoLibrary::load(file);
    ImagePtr loaded = image ? *image : nullptr;  // an unreadable file shows as an empty tile
    images_.emplace(file, loaded);
    return loaded;
}

CollectionViewCellPtr PhotoGridViewController::cellForItemAtIndexPath(CollectionView& view,
                                                                      const IndexPath& indexPath) {
    auto cell = view.dequeueReusableCell(kCellIdentifier, indexPath);
    if (!cell || cell->subviews().empty()) {
        return cell;
    }
    auto imageView = std::dynamic_pointer_cast<ImageView>(cell->subviews().front());
    if (imageView && indexPath.item < static_cast<int>(items_.size())) {
        imageView->setImage(thumbnail(items_[static_cast<std::size_t>(indexPath.item)]));
    }
    return cell;
}

std::optional<Size> PhotoGridViewController::sizeForItemAtIndexPath(CollectionView&, FlowLayout&,
                                                                    const IndexPath&) {
    return Size{kThumbnailSize, kThumbnailSize};
}

void PhotoGridViewController::didSelectItemAtIndexPath(CollectionView& view,
                                                       const IndexPath& indexPath) {
    view.deselectItem(indexPath);
    if (auto picker = picker_.lock()) {
        (void)picker->pickLibraryItem(static_cast<std::size_t>(indexPath.item));
    }
}

}  // namespace ui
