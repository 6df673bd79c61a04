#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ServiceEndpoints.h"
#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace app {

// The login screen, root of the navigation stack: asks the order service whether the typed
// user name and password are valid and, when they are, flips to a new order search screen.
// One login request at a time: the button stays disabled until its answer.
class ViewController : public ui::ViewController {
public:
    static std::shared_ptr<ViewController> create(ServiceEndpoints endpoints);

    const ui::ConnectionTable* connectionTable() const override;
    void viewDidLoad() override;
    void viewWillAppear(ui::Animated animated) override;

    void loginPressed();
    void processLoginResult(const std::optional<std::string>& result);

    bool isLoginRunning() const { return loginRunning_; }
    std::shared_ptr<ui::TextField> usernameField() const { return username_; }
    std::shared_ptr<ui::TextField> passwordField() const { return password_; }
    std::shared_ptr<ui::Button> loginButton() const { return loginButton_; }

private:
    explicit ViewController(ServiceEndpoints endpoints);
    void loginEnded();

    ServiceEndpoints endpoints_;
    std::shared_ptr<ui::TextField> username_;
    std::shared_ptr<ui::TextField> password_;
    std::shared_ptr<ui::Button> loginButton_;
    bool loginRunning_ = false;
};

}  // namespace app
