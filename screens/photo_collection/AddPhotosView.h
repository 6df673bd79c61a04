#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ServiceEndpoints.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "screens/camera_overlay/OverlayViewController.h"

namespace app {

// The photo collection screen: gathers the order's photos from the camera and the gallery
// as 640 x 480 copies in a grid, removes one on request, writes camera pictures to the album
// at full size, and hands the copies to the upload screen.
class AddPhotosView : public ui::ViewController,
                      public ui::CollectionViewDataSource,
                      public ui::CollectionViewDelegateFlowLayout,
                      public ui::ActionSheetDelegate,
                      public OverlayViewControllerDelegate {
public:
    static constexpr int kPhotoWidth = 640;
    static constexpr int kPhotoHeight = 480;
    enum class CameraSource { Camera = 0, PhotoGallery = 1 };

    static std::shared_ptr<AddPhotosView> create(std::string nibName, ServiceEndpoints endpoints);

    const ui::ConnectionTable* connectionTable() const override;
    void viewDidLoad() override;

    void addPhotos();
    void save();
    void back();
    void photoLibraryAction(const std::shared_ptr<core::Object>& sender);
    void cameraAction(const std::shared_ptr<core::Object>& sender);
    void showImagePicker(ui::ImagePickerSourceType sourceType);
    // A new 640 x 480 picture of `image` drawn upright into the whole frame; null when the
    // image's pixels cannot be read.
    static ui::ImagePtr resizePic(const ui::Image& image);
    void handleNotification(const core::Notification& notification);

    int numberOfItemsInSection(ui::CollectionView& view, int section) override;
    ui::CollectionViewCellPtr cellForItemAtIndexPath(ui::CollectionView& view,
                                                     const ui::IndexPath& path) override;
    std::optional<ui::Size> sizeForItemAtIndexPath(ui::CollectionView&, ui::FlowLayout&,
                                                   const ui::IndexPath&) override;
    std::optional<ui::EdgeInsets> insetForSectionAtIndex(ui::CollectionView&, ui::FlowLayout&,
                                                         int) override;
    void didSelectItemAtIndexPath(ui::CollectionView& view, const ui::IndexPath& path) override;
    void clickedButtonAtIndex(ui::ActionSheet& sheet, int index) override;

    void didTakePicture(const ui::ImagePtr& picture) override;
    void didFinishWithCamera() override;

    const std::vector<ui::ImagePtr>& newPics() const { return newPics_; }
    const std::vector<ui::ImagePtr>& capturedImages() const { return capturedImages_; }
    const std::shared_ptr<OverlayViewController>& overlayViewController() const { return overlay_; }
    const std::shared_ptr<ui::ImageView>& imageView() const { return imageView_; }
    const std::shared_ptr<ui::Toolbar>& myToolbar() const { return myToolbar_; }

private:
    AddPhotosView(std::string nibName, ServiceEndpoints endpoints);
    void addPicture(const ui::ImagePtr& picture);
    void showSheet(const std::string& title, const std::string& cancel,
                   std::vector<std::string> others);

    ServiceEndpoints endpoints_;
    std::shared_ptr<ui::CollectionView> collectionView_;
    std::shared_ptr<ui::ImageView> imageView_;
    std::shared_ptr<ui::Toolbar> myToolbar_;
    std::shared_ptr<OverlayViewController> overlay_;
    std::vector<ui::ImagePtr> newPics_;
    std::vector<ui::ImagePtr> capturedImages_;
    bool inEditing_ = false;
    int editingIndex_ = 0;
    CameraSource whichCameraSource_ = CameraSource::Camera;
    core::ObserverToken cameraDoneToken_;
    core::ObserverToken imageToken_;
};

}  // namespace app
