#include "screens/login/ViewController.h"

#include "app/SharedGlobals.h"
#include "net/client/HTTPClient.h"
#include "platform/core/Log.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewTransition.h"
#include "screens/ScreenHelpers.h"
#include "screens/order_search/MainView.h"

namespace app {

std::shared_ptr<ViewController> ViewController::create(ServiceEndpoints endpoints) {
    return std::shared_ptr<ViewController>(new ViewController(std::move(endpoints)));
}

ViewController::ViewController(ServiceEndpoints endpoints)
    : ui::ViewController("ViewController"), endpoints_(std::move(endpoints)) {}

const ui::ConnectionTable* ViewController::connectionTable() const {
    using Table = ui::OutletTable<ViewController>;
    static const Table table{Table::outlet("username", &ViewController::username_),
                             Table::outlet("password", &ViewController::password_),
                             Table::outlet("loginButton", &ViewController::loginButton_),
                             Table::action("loginPressed", &ViewController::loginPressed)};
    return &table;
}

void ViewController::viewDidLoad() {
    ui::ViewController::viewDidLoad();
    navigationController()->setNavigationBarHidden(true);
    setStretchedBackground(*loginButton_, "blackButton.png");
}

void ViewController::viewWillAppear(ui::Animated animated) {
    ui::ViewController::viewWillAppear(animated);
    username_->setText("");
    password_->setText("");
}

void ViewController::loginPressed() {
    // A second request would race the first to push its own search screen.
    if (loginRunning_) {
        return;
    }
    auto baseURL = url::URL::create(endpoints_.orderService);
    if (!baseURL) {
        core::log("[HTTPClient Error]: bad order service URL " + endpoints_.orderService);
        showErrorAlert("Could not reach server", "Ok");
        return;
    }
    loginRunning_ = true;
    loginButton_->setEnabled(false);
    auto client = net::HTTPClient::create(*baseURL);
    core::Value::Map parameters{{"username", username_->text()}, {"password", password_->text()}};
    auto self = std::static_pointer_cast<ViewController>(shared_from_this());
    std::weak_ptr<ViewController> weak = self;
    client->postPath(
        ServiceEndpoints::kLoginPath, parameters,
        [self](const auto&, const std::any& responseObject) {
            auto text = utf8Body(responseObject);
            core::log("Request Successful, response '" + describeText(text) + "'");
            self->loginEnded();
            self->processLoginResult(text);
        },
        [weak](const auto&, const core::Error& error) {
            core::log("[HTTPClient Error]: " + error.localizedDescription());
            if (auto screen = weak.lock()) {
                screen->loginEnded();
            }
            showErrorAlert("Could not reach server", "Ok");
        });
}

void ViewController::loginEnded() {
    loginRunning_ = false;
    loginButton_->setEnabled(true);
}

void ViewController::processLoginResult(const std::optional<std::string>& result) {
    if (result != "SUCCESS") {
        showErrorAlert("Invalid username or password", "Ok");
        return;
    }
    auto store = SharedGlobals::sharedInstance();
    store->setUsername(username_->text());
    store->setPassword(password_->text());
    auto next = MainView::create(endpoints_);
    ui::ViewTransition::transitionFromView(view(), next->view(), 1.0,
                                           ui::AnimationOptionTransitionFlipFromTop);
    navigationController()->pushViewController(next, ui::Animated::No);
}

}  // namespace app
