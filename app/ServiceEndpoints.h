#pragma once

#include <optional>
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

    // The stock store's base, the picture path and `fileName` exactly as given, or none when
    // the name is not a single path segment: the name comes from the order service's answer,
    // and "../x", "x?y" or an encoded slash would make the app fetch another resource.
    std::optional<std::string> stockPictureURL(const std::string& fileName) const;
};

}  // namespace app
