#pragma once

#include <string>

namespace app {

// Where the app's two web services live, and the paths it asks them for. The defaults are the
// order service of `scripts/demo-service` on loopback, which also serves the stock pictures.
struct ServiceEndpoints {
    static constexpr const char* kDefaultOrderService = "http://127.0.0.1:8080";
    static constexpr const char* kDefaultStockStore = "http://127.0.0.1:8080";

    static constexpr const char* kLoginPath = "/ipad/loginVer2.php";
    static constexpr const char* kOrderDetailsPath = "/ipad/getOrderDetails.php";
    static constexpr const char* kUploadPath = "/ipad/uploadPicPhotos.php?order=";
    static constexpr const char* kStockPicturePath = "/trelmostockimages/";

    std::string orderService = kDefaultOrderService;
    std::string stockStore = kDefaultStockStore;

    // The stock store's base, the picture path and `fileName` exactly as given.
    std::string stockPictureURL(const std::string& fileName) const;
};

}  // namespace app
