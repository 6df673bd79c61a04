// Property-list answers are untrusted: XML or binary, every input reads to a value with its
// format named, or to an error, and reading the same bytes twice gives the same tree.
#include <string>

#include "fuzz/FuzzCheck.h"
#include "net/operations/PropertyListRequestOperation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const core::Bytes bytes(data, data + size);
    net::PropertyListFormat format = net::PropertyListFormat::Unknown;
    std::shared_ptr<const core::Error> error;
    const core::Value value = net::parsePropertyList(bytes, format, error);
    if (error) {
        fuzz::check(!error->localizedDescription().empty(), "a refusal says why");
        return 0;
    }
    fuzz::check(format == net::PropertyListFormat::XML || format == net::PropertyListFormat::Binary,
                "a property list that was read has a format");

    net::PropertyListFormat again = net::PropertyListFormat::Unknown;
    std::shared_ptr<const core::Error> secondError;
    const core::Value second = net::parsePropertyList(bytes, again, secondError);
    fuzz::check(secondError == nullptr && again == format && second == value,
                "reading is deterministic");
    return 0;
}
