#pragma once

#include <ostream>

#include "orderd/OrderService.h"
#include "orderd/Result.h"

namespace orderd {

// Fills a data directory with a demo user, a handful of orders and generated stock pictures.
// Running it again adds only what is missing.
class DemoSeeder {
public:
    static constexpr const char* kUsername = "demo";
    static constexpr const char* kPassword = "demo1234";

    static Status seed(OrderService& service, std::ostream& out);
};

}  // namespace orderd
