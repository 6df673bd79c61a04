// Archives from disk are untrusted: raw bytes, and real client archives with bytes flipped,
// unarchive to an object or to an error, never to a crash or an unbounded allocation; and an
// object that was read archives and reads back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzCheck.h"
#include "net/client/HTTPClient.h"
#include "platform/core/KeyedArchiver.h"
#include "platform/core/KeyedUnarchiver.h"

namespace {

// Archives refuse text that is not UTF-8, so the texts of a client meant to archive are plain.
std::string printable(FuzzedDataProvider& input, int maxLength) {
    std::string text;
    for (int n = input.ConsumeIntegralInRange(0, maxLength); n > 0; --n) {
        text += static_cast<char>(input.ConsumeIntegralInRange<int>(' ', '~'));
    }
    return text;
}

core::Bytes realArchive(FuzzedDataProvider& input) {
    const auto base = url::URL::create(
        "http://127.0.0.1:" + std::to_string(input.ConsumeIntegralInRange(1, 65535)) + "/" +
        (input.ConsumeBool() ? "ipad/" : ""));
    auto client = net::HTTPClient::create(base);
    client->setParameterEncoding(
        static_cast<net::ParameterEncoding>(input.ConsumeIntegralInRange(0, 2)));
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        client->setDefaultHeader("X-" + std::to_string(n), printable(input, 20));
    }
    if (input.ConsumeBool()) {
        client->setAuthorizationHeaderWithUsername(printable(input, 12), printable(input, 12));
    }
    auto archive = core::KeyedArchiver::archivedDataWithRootObject(*client);
    fuzz::check(archive.hasValue(), "a client with texts of printable ASCII always archives");
    fuzz::check(core::KeyedUnarchiver::unarchiveObjectWithData(archive.value()).hasValue(),
                "an untouched archive unarchives");
    return archive.value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    core::Bytes archive;
    if (input.ConsumeBool()) {
        archive = realArchive(input);
        for (int n = input.ConsumeIntegralInRange(1, 8); n > 0 && !archive.empty(); --n) {
            const auto at = input.ConsumeIntegralInRange<std::size_t>(0, archive.size() - 1);
            archive[at] = input.ConsumeIntegral<std::uint8_t>();
        }
    } else {
        const auto bytes = input.ConsumeRemainingBytes<std::uint8_t>();
        archive.assign(bytes.begin(), bytes.end());
    }
    const auto object = core::KeyedUnarchiver::unarchiveObjectWithData(archive);
    if (!object.hasValue() || object.value() == nullptr) {
        return 0;
    }
    // What was read is kept as it was read: archived again, it reads back to the same archive.
    const auto again = core::KeyedArchiver::archivedDataWithRootObject(*object.value());
    if (!again.hasValue()) {
        return 0;
    }
    const auto reread = core::KeyedUnarchiver::unarchiveObjectWithData(again.value());
    fuzz::check(reread.hasValue() && reread.value() != nullptr,
                "an object that was read archives to an archive that reads");
    const auto third = core::KeyedArchiver::archivedDataWithRootObject(*reread.value());
    fuzz::check(third.hasValue() && third.value() == again.value(),
                "reading and archiving again changes nothing");
    return 0;
}
