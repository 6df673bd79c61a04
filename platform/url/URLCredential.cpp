#include "platform/url/URLCredential.h"

namespace url {

std::shared_ptr<URLCredential> URLCredential::create(std::string user, std::string password,
                                                     URLCredentialPersistence persistence) {
    return std::shared_ptr<URLCredential>(
        new URLCredential(std::move(user), std::move(password), persistence));
}

}  // namespace url
