#include "screens/order_search/MainView.h"

#include <vector>

#include "app/SharedGlobals.h"
#include "net/client/HTTPClient.h"
#include "platform/core/Log.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/url/URLFetch.h"
#include "screens/ScreenHelpers.h"
#include "screens/photo_collection/AddPhotosView.h"

namespace app {
namespace {

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        auto comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

}  // namespace

std::shared_ptr<MainView> MainView::create(ServiceEndpoints endpoints) {
    return std::shared_ptr<MainView>(new MainView(std::move(endpoints)));
}

MainView::MainView(ServiceEndpoints endpoints)
    : ui::ViewController("MainView"), endpoints_(std::move(endpoints)) {}

const ui::ConnectionTable* MainView::connectionTable() const {
    using Table = ui::OutletTable<MainView>;
    static const Table table{Table::outlet("searchButton", &MainView::searchButton_),
                             Table::outlet("orderNumber", &MainView::orderNumber_),
                             Table::outlet("activity", &MainView::activity_),
                             Table::outlet("frame", &MainView::frame_),
                             Table::outlet("pic", &MainView::pic_),
                             Table::outlet("line1", &MainView::line1_),
                             Table::outlet("line2", &MainView::line2_),
                             Table::outlet("line3", &MainView::line3_),
                             Table::outlet("addPhotosButton", &MainView::addPhotosButton_),
                             Table::action("searchPressed", &MainView::searchPressed),
                             Table::action("logoff", &MainView::logoff),
                             Table::action("addPhotosPressed", &MainView::addPhotosPressed)};
    return &table;
}

std::shared_ptr<ui::Label> MainView::line(int index) const {
    switch (index) {
        case 1:
            return line1_;
        case 2:
            return line2_;
        case 3:
            return line3_;
        default:
            return nullptr;
    }
}

void MainView::viewDidLoad() {
    ui::ViewController::viewDidLoad();
    setStretchedBackground(*searchButton_, "whiteButton.png");
    setStretchedBackground(*addPhotosButton_, "blackButton.png");
    hideDetails();
}

void MainView::hideDetails() {
    for (ui::View* view :
         {static_cast<ui::View*>(frame_.get()), static_cast<ui::View*>(pic_.get()),
          static_cast<ui::View*>(line1_.get()), static_cast<ui::View*>(line2_.get()),
          static_cast<ui::View*>(line3_.get()), static_cast<ui::View*>(addPhotosButton_.get())}) {
        view->setHidden(true);
    }
}

void MainView::showDetails() {
    for (ui::View* view :
         {static_cast<ui::View*>(frame_.get()), static_cast<ui::View*>(pic_.get()),
          static_cast<ui::View*>(line1_.get()), static_cast<ui::View*>(line2_.get()),
          static_cast<ui::View*>(line3_.get()), static_cast<ui::View*>(addPhotosButton_.get())}) {
        view->setHidden(false);
    }
}

void MainView::searchPressed() {
    activity_->startAnimating();
    orderNumber_->resignFirstResponder();
    auto store = SharedGlobals::sharedInstance();
    auto baseURL = url::URL::create(endpoints_.orderService);
    if (!baseURL) {
        activity_->stopAnimating();
        core::log("[HTTPClient Error]: bad order service URL " + endpoints_.orderService);
        showErrorAlert("Could not reach server", "Ok");
        return;
    }
    auto client = net::HTTPClient::create(*baseURL);
    core::Value::Map parameters{{"username", store->username().value_or("")},
                                {"password", store->password().value_or("")},
                                {"order", orderNumber_->text()}};
    auto self = std::static_pointer_cast<MainView>(shared_from_this());
    client->postPath(
        ServiceEndpoints::kOrderDetailsPath, parameters,
        [self, store](const auto&, const std::any& responseObject) {
            auto text = utf8Body(responseObject);
            core::log("Request Successful, response '" + describeText(text) + "'");
            store->setOrderID(self->orderNumber_->text());
            self->processHttpResult(text);
        },
        [self](const auto&, const core::Error& error) {
            self->activity_->stopAnimating();
            core::log("[HTTPClient Error]: " + error.localizedDescription());
            showErrorAlert("Could not reach server", "Ok");
        });
}

void MainView::processHttpResult(const std::optional<std::string>& result) {
    activity_->stopAnimating();
    if (!result) {
        return;
    }
    auto fields = splitAtCommas(*result);
    if (fields[0] != "SUCCESS") {
        return;
    }
    // The service promises five fields; a shorter answer shows what it has.
    fields.resize(std::max<std::size_t>(fields.size(), 5));
    showDetails();
    line1_->setText(fields[1]);
    line2_->setText(fields[2]);
    line3_->setText(fields[3]);
    showStockPicture(fields[4]);
}

void MainView::showStockPicture(const std::string& fileName) {
    pic_->setImage(nullptr);
    if (fileName.empty()) {
        return;
    }
    const auto location = endpoints_.stockPictureURL(fileName);
    auto address = location ? url::URL::create(*location) : std::nullopt;
    if (!address) {
        return;
    }
    auto bytes = url::fetchContents(*address, kStockPictureTimeout);
    if (!bytes) {
        return;
    }
    auto image = ui::Image::create(*bytes);
    if (image) {
        pic_->setImage(*image);
    }
}

void MainView::logoff() {
    navigationController()->popViewControllerAnimated(ui::Animated::No);
}

void MainView::addPhotosPressed() {
    bool tall = ui::Screen::main().bounds().height() == 568.0;
    auto next = AddPhotosView::create(tall ? "AddPhotosView" : "AddPhotosViewSmall", endpoints_);
    navigationController()->pushViewController(next, ui::Animated::Yes);
}

}  // namespace app
