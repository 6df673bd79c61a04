#include "orderd/DemoSeeder.h"

#include <array>
#include <fstream>

#include "orderd/Jpeg.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

struct DemoOrder {
    Order order;
    std::uint32_t colour;
};

const std::array<DemoOrder, 5> kOrders{{
    {{"1001", "Oak worktop 3.2 m with sink cut-out", "Harlow residence - 12 Mill Lane",
      "Fit on Tuesday 08:00", "worktop-oak.jpg"},
     0xB0814F},
    {{"1002", "Walk-in shower tray 1400 x 900", "Patel family - 3 Orchard Close",
      "Remove old enclosure first", "shower-tray.jpg"},
     0xD8DCE0},
    {{"1003", "Composite decking 24 square metres", "Greenway Offices - rear terrace",
      "Access through the side gate", "decking-grey.jpg"},
     0x6E6E6E},
    {{"1004", "Fitted wardrobe - 3 doors and mirror", "Okafor residence - 41 Station Road",
      "Customer home after 13:00", "wardrobe-white.jpg"},
     0xF2F0EA},
    {{"1005", "Replacement front door in red", "Lindqvist residence - 7 Church Street",
      "Keep the old lock for the customer", "door-red.jpg"},
     0xA3232B},
}};

Status ensureStockPicture(const fs::path& file, std::uint32_t colour, std::uint32_t seed) {
    std::error_code ec;
    if (fs::exists(file, ec)) {
        return {};
    }
    auto jpeg = encodePatternJpeg(480, 360, colour, seed, 85);
    if (!jpeg.ok()) {
        return jpeg.error();
    }
    auto temp = file;
    temp += ".new";
    std::ofstream out(temp, std::ios::binary);
    out.write(jpeg.value().data(), static_cast<std::streamsize>(jpeg.value().size()));
    out.close();
    fs::rename(temp, file, ec);
    if (!out || ec) {
        return Error{"cannot write " + file.string()};
    }
    return {};
}

}  // namespace

Status DemoSeeder::seed(OrderService& service, std::ostream& out) {
    auto& db = service.database();
    if (!db.passwordHash(kUsername)) {
        auto hash = CredentialChecker::hashPassword(kPassword);
        if (!hash.ok()) {
            return hash.error();
        }
        if (auto status = db.addUser(kUsername, hash.value()); !status.ok()) {
            return status;
        }
    }
    auto stock = OrderService::stockFolder(service.photos().dataDir());
    std::uint32_t seed = 1;
    for (const auto& demo : kOrders) {
        if (auto status = ensureStockPicture(stock / demo.order.stockImage, demo.colour, seed++);
            !status.ok()) {
            return status;
        }
        if (!db.findOrder(demo.order.number)) {
            if (auto status = db.addOrder(demo.order); !status.ok()) {
                return status;
            }
        }
        out << "order " << demo.order.number << ": " << demo.order.line1 << '\n';
    }
    out << "demo user: " << kUsername << " / password: " << kPassword << '\n';
    return {};
}

}  // namespace orderd
