#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ServiceEndpoints.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace app {

// The order search screen: looks an order up by the typed number, records that number as the
// current order, and shows three lines of details, the stock picture and the way to the
// photo collection screen.
class MainView : public ui::ViewController {
public:
    // How long the stock picture may take before the screen gives up on it; the fetch blocks
    // the screen, so a dead store must not hold it for long.
    static constexpr double kStockPictureTimeout = 4.0;

    static std::shared_ptr<MainView> create(ServiceEndpoints endpoints);

    const ui::ConnectionTable* connectionTable() const override;
    void viewDidLoad() override;

    void hideDetails();
    void showDetails();
    void searchPressed();
    void processHttpResult(const std::optional<std::string>& result);
    void logoff();
    void addPhotosPressed();

    std::shared_ptr<ui::TextField> orderNumber() const { return orderNumber_; }
    std::shared_ptr<ui::ActivityIndicatorView> activity() const { return activity_; }
    std::shared_ptr<ui::ImageView> pic() const { return pic_; }
    std::shared_ptr<ui::Label> line(int index) const;
    std::shared_ptr<ui::Button> addPhotosButton() const { return addPhotosButton_; }
    std::shared_ptr<ui::Button> searchButton() const { return searchButton_; }

private:
    explicit MainView(ServiceEndpoints endpoints);
    void showStockPicture(const std::string& fileName);

    ServiceEndpoints endpoints_;
    std::shared_ptr<ui::Button> searchButton_;
    std::shared_ptr<ui::TextField> orderNumber_;
    std::shared_ptr<ui::ActivityIndicatorView> activity_;
    std::shared_ptr<ui::ImageView> frame_;
    std::shared_ptr<ui::ImageView> pic_;
    std::shared_ptr<ui::Label> line1_;
    std::shared_ptr<ui::Label> line2_;
    std::shared_ptr<ui::Label> line3_;
    std::shared_ptr<ui::Button> addPhotosButton_;
};

}  // namespace app
