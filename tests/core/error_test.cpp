#include "platform/core/Error.h"
#include "platform/core/Expected.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

namespace {

class FakeResponse : public core::Object {
public:
    std::string description() const override { return "<FakeResponse 404>"; }
};

}  // namespace

TEST(Error, DefaultLocalizedDescriptionNamesDomainAndCode) {
    core::Error error("NetworkingErrorDomain", -1011);
    EXPECT_EQ(error.localizedDescription(),
              "The operation couldn't be completed. (NetworkingErrorDomain error -1011.)");
}

TEST(Error, UsualKeysAndObjectsAreReadBack) {
    auto response = std::make_shared<FakeResponse>();
    core::Error error("NetworkingErrorDomain", -1011);
    error.set(core::LocalizedDescriptionKey, "Expected status code in (200-299), got 404")
        .set(core::LocalizedRecoverySuggestionErrorKey, "not found")
        .set(core::URLErrorFailingURLErrorKey, "http://127.0.0.1/x")
        .set("NetworkingOperationFailingURLResponseErrorKey", response)
        .setUnderlyingError(core::Error("POSIXErrorDomain", 2));

    EXPECT_EQ(error.localizedDescription(), "Expected status code in (200-299), got 404");
    EXPECT_EQ(error.localizedRecoverySuggestion(), "not found");
    EXPECT_EQ(error.failingURL(), "http://127.0.0.1/x");
    EXPECT_EQ(error.object<FakeResponse>("NetworkingOperationFailingURLResponseErrorKey"),
              response);
    EXPECT_EQ(error.object<FakeResponse>(core::LocalizedDescriptionKey), nullptr);
    EXPECT_EQ(error.underlyingError()->code(), 2);
}

TEST(Error, PosixErrorsCarryTheSystemMessage) {
    core::Error error = core::Error::posix(ENOSPC, "Cannot write /tmp/out");
    EXPECT_EQ(error.domain(), core::POSIXErrorDomain);
    EXPECT_EQ(error.code(), ENOSPC);
    EXPECT_EQ(error.localizedDescription(), "Cannot write /tmp/out: No space left on device");
    EXPECT_EQ(error.localizedFailureReason(), "No space left on device");
}

TEST(Error, EqualityComparesInformationAndObjectIdentity) {
    auto object = std::make_shared<FakeResponse>();
    core::Error a("d", 1);
    a.set("k", 1).set("o", object);
    core::Error b("d", 1);
    b.set("k", 1.0).set("o", object);
    EXPECT_EQ(a, b);
    b.set("o", std::make_shared<FakeResponse>());
    EXPECT_NE(a, b);
    EXPECT_NE(core::Error("d", 1), core::Error("d", 2));
    EXPECT_NE(core::Error("d", 1), core::Error("e", 1));
}

TEST(ExpectedDeathTest, AskingAFailureForItsValueAborts) {
    core::Expected<int> bad = core::Error("d", 5);
    EXPECT_DEATH((void)bad.value(), "");
}
