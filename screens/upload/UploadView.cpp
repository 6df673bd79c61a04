#include "screens/upload/UploadView.h"

#include <thread>

#include "app/SharedGlobals.h"
#include "net/client/HTTPClient.h"
#include "net/client/MultipartFormData.h"
#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/NavigationController.h"
#include "screens/ScreenHelpers.h"

namespace app {
namespace {

// The encoder's scale ends at 1.0, so this is its best quality.
constexpr double kJPEGQuality = 90.0;

void setNetworkIndicator(bool visible) {
    ui::Application::shared()->setNetworkActivityIndicatorVisible(visible);
}

}  // namespace

std::shared_ptr<UploadView> UploadView::create(ServiceEndpoints endpoints) {
    return std::shared_ptr<UploadView>(new UploadView(std::move(endpoints)));
}

UploadView::UploadView(ServiceEndpoints endpoints)
    : ui::ViewController("UploadView"), endpoints_(std::move(endpoints)) {}

const ui::ConnectionTable* UploadView::connectionTable() const {
    using Table = ui::OutletTable<UploadView>;
    static const Table table{Table::outlet("img", &UploadView::img_),
                             Table::outlet("progress", &UploadView::progress_),
                             Table::outlet("label", &UploadView::label_),
                             Table::outlet("label2", &UploadView::label2_),
                             Table::outlet("btn", &UploadView::btn_),
                             Table::outlet("backToPhotosButton", &UploadView::backToPhotosButton_),
                             Table::action("done", &UploadView::done),
                             Table::action("backToPhotos", &UploadView::backToPhotos)};
    return &table;
}

void UploadView::viewDidLoad() {
    ui::ViewController::viewDidLoad();
    presentOptions();
}

void UploadView::sendPhotos(const Photos& photos) {
    arr_ = std::make_shared<const Photos>(photos);
}

void UploadView::presentOptions() {
    auto self = std::static_pointer_cast<UploadView>(shared_from_this());
    auto sheet = ui::ActionSheet::create("Location", self, "Cancel", std::nullopt,
                                         {"Before Folder", "After Folder"});
    sheet->setActionSheetStyle(ui::ActionSheetStyle::BlackOpaque);
    auto window = ui::Application::shared()->keyWindow();
    bool inWindow = window && view()->superview() == window;
    sheet->showInView(inWindow || !window ? view() : std::shared_ptr<ui::View>(window));
}

void UploadView::clickedButtonAtIndex(ui::ActionSheet&, int index) {
    core::logf("Button clicked: %i", index);
    if (index == 2) {
        navigationController()->popViewControllerAnimated(ui::Animated::Yes);
    } else if ((index == 0 || index == 1) && !started_) {
        locationForPics_ = static_cast<Location>(index);
        startUpload();
    }
}

void UploadView::startUpload() {
    started_ = true;
    setNetworkIndicator(true);
    auto store = SharedGlobals::sharedInstance();
    auto text = [](const std::optional<std::string>& value) {
        return core::bytesFromString(value.value_or(""));
    };
    formFields_ = std::make_shared<const FormFields>(FormFields{
        {"username", text(store->username())},
        {"password", text(store->password())},
        {"order", text(store->orderID())},
        {"location", core::bytesFromString(std::to_string(static_cast<int>(locationForPics_)))}});
    auto self = std::static_pointer_cast<UploadView>(shared_from_this());
    for (std::size_t i = 0; i < arr_->size(); ++i) {
        std::thread([self, i] { self->uploadThread(i); }).detach();
    }
    showOutcomeIfEnded();
}

void UploadView::uploadThread(std::size_t index) {
    auto self = std::static_pointer_cast<UploadView>(shared_from_this());
    auto fail = [self](const std::string& why) {
        core::DispatchQueue::main()->async([self, why] {
            showErrorAlert("Could not contact server", "OK");
            core::log("error: " + why);
            self->uploadFailed();
        });
    };
    auto jpeg = ui::JPEGRepresentation(*(*arr_)[index], kJPEGQuality);
    auto baseURL = url::URL::create(endpoints_.orderService);
    if (!jpeg || !baseURL) {
        fail(jpeg ? "bad order service URL " + endpoints_.orderService
                  : jpeg.error().localizedDescription());
        return;
    }
    auto client = net::HTTPClient::create(*baseURL);
    // The fields go in through the body block rather than as parameters, which would be
    // flattened in key order: the wire keeps username, password, order, location.
    auto request = client->multipartFormRequest(
        "POST", ServiceEndpoints::kUploadPath + std::to_string(index), std::nullopt,
        [this, &jpeg](net::MultipartFormData& body) {
            for (const char* name : {"username", "password", "order", "location"}) {
                body.appendPartWithFormData(formFields_->at(name), name);
            }
            body.appendPartWithFileData(std::move(*jpeg), "file", "temp.jpeg", "image/jpeg");
        });
    auto operation = net::HTTPRequestOperation::create(request);
    operation->setCompletionBlockWithSuccess(
        [self](const auto& finished, const std::any&) {
            core::log("response: [" + describeText(finished->responseString()) + "]");
            self->updateBar();
        },
        [self](const auto&, const core::Error& error) {
            showErrorAlert("Could not contact server", "OK");
            core::log("error: " + error.description());
            self->uploadFailed();
        });
    operation->start();
}

void UploadView::updateBar() {
    ++finished_;
    progress_->setProgress(static_cast<double>(finished_) / static_cast<double>(arr_->size()));
    if (finished_ == static_cast<int>(arr_->size())) {
        img_->setHidden(false);
        label_->setText("Finished Uploading");
        btn_->setHidden(false);
        label2_->setHidden(false);
        setNetworkIndicator(false);
        return;
    }
    showOutcomeIfEnded();
}

void UploadView::uploadFailed() {
    ++failed_;
    showOutcomeIfEnded();
}

void UploadView::showOutcomeIfEnded() {
    auto total = static_cast<int>(arr_->size());
    if (finished_ + failed_ < total || (total > 0 && failed_ == 0)) {
        return;
    }
    setNetworkIndicator(false);
    label_->setText("Uploaded " + std::to_string(finished_) + " of " + std::to_string(total) +
                    (total == 1 ? " photo" : " photos"));
    backToPhotosButton_->setHidden(false);
}

void UploadView::done() {
    auto navigation = navigationController();
    const auto& stack = navigation->viewControllers();
    if (stack.size() > 1) {
        navigation->popToViewController(stack[1], ui::Animated::Yes);
    }
}

void UploadView::backToPhotos() {
    navigationController()->popViewControllerAnimated(ui::Animated::Yes);
}

}  // namespace app
