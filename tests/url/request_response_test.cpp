#include <gtest/gtest.h>

#include "platform/core/InputStream.h"
#include "platform/url/HTTPURLResponse.h"
#include "platform/url/URLCredentialStorage.h"
#include "platform/url/URLRequest.h"

namespace {

url::URL at(const std::string& text) {
    return *url::URL::create(text);
}

TEST(URLRequest, HasThePlatformDefaultsAndCopiesBothWays) {
    url::URLRequest plain(at("http://h/x"));
    EXPECT_EQ(plain.httpMethod(), "GET");
    EXPECT_EQ(plain.timeoutInterval(), 60.0);
    EXPECT_EQ(plain.cachePolicy(), url::URLRequestCachePolicy::UseProtocolCachePolicy);
    EXPECT_TRUE(plain.httpShouldHandleCookies());
    EXPECT_EQ(static_cast<int>(url::URLRequestCachePolicy::ReturnCacheDataDontLoad), 3);

    url::MutableURLRequest editable = plain.mutableCopy();
    editable.setValue("text/html", "accept");
    editable.setValue("application/json", "ACCEPT");
    editable.setHTTPBody(core::bytesFromString("b"));
    editable.setHTTPBodyStream(core::InputStream::inputStreamWithData({}));
    url::URLRequest frozen = editable.copy();

    EXPECT_FALSE(plain.valueForHTTPHeaderField("Accept"));
    ASSERT_EQ(frozen.allHTTPHeaderFields().size(), 1u);
    EXPECT_EQ(frozen.allHTTPHeaderFields().entries()[0].first, "accept");  // first spelling
    EXPECT_EQ(frozen.valueForHTTPHeaderField("Accept"), "application/json");
    EXPECT_FALSE(frozen.httpBody());  // a body stream replaces body bytes
    EXPECT_TRUE(frozen.httpBodyStream());
    editable.setValue(std::nullopt, "Accept");
    EXPECT_TRUE(editable.allHTTPHeaderFields().empty());
}

TEST(HTTPURLResponse, ReadsTypeCharsetLengthAndFileNameFromHeaders) {
    url::HTTPURLResponse full(at("http://h/files/report"), 200,
                              {{"Content-Type", "Application/JSON ; Charset=\"UTF-8\""},
                               {"Content-Length", " 1234 "},
                               {"Content-Disposition", "attachment; filename=\"../../x.pdf\""}});
    EXPECT_EQ(full.mimeType(), "application/json");
    EXPECT_EQ(full.textEncodingName(), "utf-8");
    EXPECT_EQ(full.expectedContentLength(), 1234);
    EXPECT_EQ(full.suggestedFilename(), "x.pdf");  // never a path out of the target folder
    EXPECT_EQ(full.valueForHTTPHeaderField("content-length"), " 1234 ");

    url::HTTPURLResponse bare(at("http://h/"), 204, {{"Content-Length", "12abc"}});
    EXPECT_EQ(bare.mimeType(), std::nullopt);
    EXPECT_EQ(bare.textEncodingName(), std::nullopt);
    EXPECT_EQ(bare.expectedContentLength(), -1);
    EXPECT_EQ(bare.suggestedFilename(), "Unknown");
}

TEST(URLCredentialStorage, KeepsCredentialsPerSpaceWithADefault) {
    auto storage = url::URLCredentialStorage::create();
    url::URLProtectionSpace space("API.example", 443, "https", "orders",
                                  url::kAuthenticationMethodHTTPBasic);
    url::URLProtectionSpace sameSpace("api.example", 443, "https", "orders",
                                      url::kAuthenticationMethodHTTPBasic);
    url::URLProtectionSpace noRealm("api.example", 443, "https", std::nullopt,
                                    url::kAuthenticationMethodHTTPBasic);
    auto jo = url::URLCredential::create("jo", "1", url::URLCredentialPersistence::ForSession);
    auto ann = url::URLCredential::create("ann", "2", url::URLCredentialPersistence::Permanent);
    auto once = url::URLCredential::create("tmp", "3", url::URLCredentialPersistence::None);

    storage->setCredential(jo, space);
    storage->setDefaultCredential(ann, space);
    storage->setCredential(once, space);

    auto stored = storage->credentialsForProtectionSpace(sameSpace);
    EXPECT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored["jo"], jo);
    EXPECT_EQ(storage->defaultCredentialForProtectionSpace(sameSpace), ann);
    EXPECT_TRUE(storage->credentialsForProtectionSpace(noRealm).empty());
    storage->removeCredential(ann, space);
    EXPECT_EQ(storage->defaultCredentialForProtectionSpace(space), nullptr);
}

}  // namespace
