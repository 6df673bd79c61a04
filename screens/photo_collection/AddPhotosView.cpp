#include "screens/photo_collection/AddPhotosView.h"

#include "platform/core/Log.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "platform/ui/PhotoAlbum.h"
#include "screens/photo_collection/PhotoCell.h"
#include "screens/upload/UploadView.h"

namespace app {

std::shared_ptr<AddPhotosView> AddPhotosView::create(std::string nibName,
                                                     ServiceEndpoints endpoints) {
    return std::shared_ptr<AddPhotosView>(
        new AddPhotosView(std::move(nibName), std::move(endpoints)));
}

AddPhotosView::AddPhotosView(std::string nibName, ServiceEndpoints endpoints)
    : ui::ViewController(std::move(nibName)), endpoints_(std::move(endpoints)) {}

const ui::ConnectionTable* AddPhotosView::connectionTable() const {
    using Table = ui::OutletTable<AddPhotosView>;
    static const Table table{
        Table::outlet("collectionView", &AddPhotosView::collectionView_),
        Table::outlet("imageView", &AddPhotosView::imageView_),
        Table::outlet("myToolbar", &AddPhotosView::myToolbar_),
        Table::action("addPhotos", &AddPhotosView::addPhotos),
        Table::action("save", &AddPhotosView::save),
        Table::action("back", &AddPhotosView::back),
        Table::action("photoLibraryAction", &AddPhotosView::photoLibraryAction),
        Table::action("cameraAction", &AddPhotosView::cameraAction)};
    return &table;
}

void AddPhotosView::viewDidLoad() {
    ui::ViewController::viewDidLoad();
    newPics_.clear();
    collectionView_->registerClass<PhotoCell>("acell");
    PhotoCell::registerClass();
    if (auto nib = ui::Nib::named("PhotoCell")) {
        collectionView_->registerNib(*nib, "acell");
    } else {
        core::log(nib.error().localizedDescription());
    }
    inEditing_ = false;
    auto self = std::static_pointer_cast<AddPhotosView>(shared_from_this());
    overlay_ = OverlayViewController::create();
    overlay_->setDelegate(self);
    capturedImages_.clear();
    if (!ui::ImagePickerController::isSourceTypeAvailable(ui::ImagePickerSourceType::Camera)) {
        myToolbar_->setItems({}, ui::Animated::No);
    }
    std::weak_ptr<AddPhotosView> weak = self;
    auto handler = [weak](const core::Notification& notification) {
        if (auto screen = weak.lock()) {
            screen->handleNotification(notification);
        }
    };
    auto center = core::NotificationCenter::defaultCenter();
    cameraDoneToken_ = center->addObserver(kCameraDoneNotification, handler);
    imageToken_ = center->addObserver(kImageNotification, handler);
}

void AddPhotosView::showSheet(const std::string& title, const std::string& cancel,
                              std::vector<std::string> others) {
    auto self = std::static_pointer_cast<AddPhotosView>(shared_from_this());
    auto sheet = ui::ActionSheet::create(title, self, cancel, std::nullopt, std::move(others));
    sheet->setActionSheetStyle(ui::ActionSheetStyle::BlackOpaque);
    sheet->showInView(view());
}

void AddPhotosView::addPhotos() {
    showSheet("Add Photos", "Cancel", {"From Camera", "From Photo Gallery"});
}

void AddPhotosView::save() {
    auto upload = UploadView::create(endpoints_);
    upload->sendPhotos(newPics_);
    navigationController()->pushViewController(upload, ui::Animated::Yes);
}

void AddPhotosView::back() {
    navigationController()->popViewControllerAnimated(ui::Animated::Yes);
}

void AddPhotosView::photoLibraryAction(const std::shared_ptr<core::Object>&) {
    showImagePicker(ui::ImagePickerSourceType::PhotoLibrary);
}

void AddPhotosView::cameraAction(const std::shared_ptr<core::Object>&) {
    showImagePicker(ui::ImagePickerSourceType::Camera);
}

void AddPhotosView::showImagePicker(ui::ImagePickerSourceType sourceType) {
    if (!ui::ImagePickerController::isSourceTypeAvailable(sourceType)) {
        return;
    }
    overlay_->setupImagePicker(sourceType);
    presentModalViewController(overlay_->imagePickerController(), ui::Animated::Yes);
}

ui::ImagePtr AddPhotosView::resizePic(const ui::Image& image) {
    ui::Size size{kPhotoWidth, kPhotoHeight};
    auto context = ui::GraphicsContext::create(size, 1.0);
    if (!context) {
        core::log(context.error().localizedDescription());
        return nullptr;
    }
    auto drawn = (*context)->drawImage(image, ui::Rect(ui::Point{}, size));
    if (!drawn) {
        core::log(drawn.error().localizedDescription());
        return nullptr;
    }
    return (*context)->makeImage();
}

void AddPhotosView::handleNotification(const core::Notification& notification) {
    if (notification.name == kCameraDoneNotification) {
        dismissViewControllerAnimated(ui::Animated::Yes, [] { core::log("Done with Camera"); });
    } else if (notification.name == kImageNotification) {
        addPicture(std::dynamic_pointer_cast<ui::Image>(notification.object));
    }
}

void AddPhotosView::addPicture(const ui::ImagePtr& picture) {
    if (!picture) {
        return;
    }
    auto copy = resizePic(*picture);
    if (!copy) {
        return;
    }
    newPics_.push_back(copy);
    collectionView_->reloadData();
    if (whichCameraSource_ == CameraSource::Camera) {
        ui::PhotoAlbum::savedPhotos()->writeInBackground(picture);
    }
}

int AddPhotosView::numberOfItemsInSection(ui::CollectionView&, int) {
    return static_cast<int>(newPics_.size());
}

ui::CollectionViewCellPtr AddPhotosView::cellForItemAtIndexPath(ui::CollectionView& view,
                                                                const ui::IndexPath& path) {
    auto cell = view.dequeueReusableCell("acell", path);
    auto photo = std::dynamic_pointer_cast<PhotoCell>(cell);
    if (photo && path.row() >= 0 && path.row() < static_cast<int>(newPics_.size())) {
        photo->setPhoto(newPics_[static_cast<std::size_t>(path.row())]);
    }
    return cell;
}

std::optional<ui::Size> AddPhotosView::sizeForItemAtIndexPath(ui::CollectionView&, ui::FlowLayout&,
                                                              const ui::IndexPath&) {
    return ui::Size{70, 70};
}

std::optional<ui::EdgeInsets> AddPhotosView::insetForSectionAtIndex(ui::CollectionView&,
                                                                    ui::FlowLayout&, int) {
    return ui::EdgeInsets{50, 20, 50, 20};
}

void AddPhotosView::didSelectItemAtIndexPath(ui::CollectionView&, const ui::IndexPath& path) {
    inEditing_ = true;
    editingIndex_ = path.row();
    showSheet("Remove this photo?", "No", {"Yes"});
}

void AddPhotosView::clickedButtonAtIndex(ui::ActionSheet&, int index) {
    core::logf("Button clicked: %i", index);
    if (inEditing_) {
        inEditing_ = false;
        if (index == 0 && editingIndex_ >= 0 && editingIndex_ < static_cast<int>(newPics_.size())) {
            newPics_.erase(newPics_.begin() + editingIndex_);
            collectionView_->reloadData();
        }
        return;
    }
    if (index == 0) {
        whichCameraSource_ = CameraSource::Camera;
        showImagePicker(ui::ImagePickerSourceType::Camera);
    } else if (index == 1) {
        whichCameraSource_ = CameraSource::PhotoGallery;
        showImagePicker(ui::ImagePickerSourceType::PhotoLibrary);
    }
}

void AddPhotosView::didTakePicture(const ui::ImagePtr& picture) {
    if (picture) {
        capturedImages_.push_back(picture);
    }
}

void AddPhotosView::didFinishWithCamera() {
    if (capturedImages_.empty()) {
        return;
    }
    if (capturedImages_.size() == 1) {
        imageView_->setImage(capturedImages_.front());
        return;
    }
    imageView_->setAnimationImages(capturedImages_);
    capturedImages_.clear();
    imageView_->setAnimationDuration(5.0);
    imageView_->setAnimationRepeatCount(0);
    imageView_->startAnimating();
}

}  // namespace app
