#include "app/ServiceEndpoints.h"

namespace app {

std::string ServiceEndpoints::stockPictureURL(const std::string& fileName) const {
    std::string base = stockStore;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + kStockPicturePath + fileName;
}

}  // namespace app
