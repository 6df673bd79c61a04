#pragma once

#include <memory>
#include <string>

#include "platform/core/Object.h"

namespace url {

enum class URLCredentialPersistence : int { None = 0, ForSession = 1, Permanent = 2 };

// A user name and password. Nothing of this layer writes credentials to disk: Permanent is
// kept like ForSession, in memory for the life of the process.
class URLCredential : public core::Object {
public:
    static std::shared_ptr<URLCredential> create(std::string user, std::string password,
                                                 URLCredentialPersistence persistence);

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    URLCredentialPersistence persistence() const { return persistence_; }

    std::string description() const override { return "<URLCredential: " + user_ + ">"; }

private:
    URLCredential(std::string user, std::string password, URLCredentialPersistence persistence)
        : user_(std::move(user)), password_(std::move(password)), persistence_(persistence) {}

    std::string user_;
    std::string password_;
    URLCredentialPersistence persistence_;
};

}  // namespace url
