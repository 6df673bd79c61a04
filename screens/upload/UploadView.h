#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ServiceEndpoints.h"
#include "platform/core/Bytes.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/ViewController.h"

namespace app {

// The upload screen: asks where the photos go ("Before Folder" or "After Folder"), then sends
// every photo at once, one multipart POST each from a short-lived thread of its own, and fills
// a progress bar as the service acknowledges them. When some uploads fail (or there was
// nothing to send) it says how many arrived and offers the way back to the photos.
class UploadView : public ui::ViewController, public ui::ActionSheetDelegate {
public:
    using Photos = std::vector<ui::ImagePtr>;
    using FormFields = std::map<std::string, core::Bytes>;
    enum class Location { Before = 0, After = 1 };

    static std::shared_ptr<UploadView> create(ServiceEndpoints endpoints);

    const ui::ConnectionTable* connectionTable() const override;
    void viewDidLoad() override;

    // Keeps its own copy of the list.
    void sendPhotos(const Photos& photos);
    void presentOptions();
    void clickedButtonAtIndex(ui::ActionSheet& sheet, int index) override;
    void startUpload();
    void updateBar();
    void uploadFailed();
    // Back to the order search screen, below the collection screen.
    void done();
    // Back to the collection screen, whose photos are still there.
    void backToPhotos();

    int finishedCount() const { return finished_; }
    int failedCount() const { return failed_; }
    std::size_t photoCount() const { return arr_->size(); }
    const std::shared_ptr<ui::ProgressView>& progress() const { return progress_; }
    const std::shared_ptr<ui::Label>& label() const { return label_; }

private:
    explicit UploadView(ServiceEndpoints endpoints);
    void uploadThread(std::size_t index);
    void showOutcomeIfEnded();

    ServiceEndpoints endpoints_;
    std::shared_ptr<ui::ImageView> img_;
    std::shared_ptr<ui::ProgressView> progress_;
    std::shared_ptr<ui::Label> label_;
    std::shared_ptr<ui::Label> label2_;
    std::shared_ptr<ui::Button> btn_;
    std::shared_ptr<ui::Button> backToPhotosButton_;
    std::shared_ptr<const Photos> arr_ = std::make_shared<const Photos>();
    std::shared_ptr<const FormFields> formFields_ = std::make_shared<const FormFields>();
    Location locationForPics_ = Location::Before;
    int finished_ = 0;
    int failed_ = 0;
    bool started_ = false;
};

}  // namespace app
