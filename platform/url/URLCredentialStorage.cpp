#include "platform/url/URLCredentialStorage.h"

namespace url {

std::shared_ptr<URLCredentialStorage> URLCredentialStorage::shared() {
    // Never destroyed: a challenge may still be answered on the network thread at exit.
    static const auto& storage = *new const std::shared_ptr<URLCredentialStorage>(create());
    return storage;
}

std::shared_ptr<URLCredentialStorage> URLCredentialStorage::create() {
    return std::shared_ptr<URLCredentialStorage>(new URLCredentialStorage());
}

URLCredentialStorage::CredentialMap URLCredentialStorage::credentialsForProtectionSpace(
    const URLProtectionSpace& space) const {
    std::lock_guard lock(mutex_);
    auto found = spaces_.find(space.key());
    return found == spaces_.end() ? CredentialMap{} : found->second.byUser;
}

std::shared_ptr<URLCredential> URLCredentialStorage::defaultCredentialForProtectionSpace(
    const URLProtectionSpace& space) const {
    std::lock_guard lock(mutex_);
    auto found = spaces_.find(space.key());
    if (found == spaces_.end() || found->second.defaultUser.empty()) {
        return nullptr;
    }
    auto credential = found->second.byUser.find(found->second.defaultUser);
    return credential == found->second.byUser.end() ? nullptr : credential->second;
}

void URLCredentialStorage::setCredential(std::shared_ptr<URLCredential> credential,
                                         const URLProtectionSpace& space) {
    if (!credential || credential->persistence() == URLCredentialPersistence::None) {
        return;
    }
    std::lock_guard lock(mutex_);
    spaces_[space.key()].byUser[credential->user()] = std::move(credential);
}

void URLCredentialStorage::setDefaultCredential(std::shared_ptr<URLCredential> credential,
                                                const URLProtectionSpace& space) {
    if (!credential || credential->persistence() == URLCredentialPersistence::None) {
        return;
    }
    std::lock_guard lock(mutex_);
    Space& entry = spaces_[space.key()];
    entry.defaultUser = credential->user();
    entry.byUser[credential->user()] = std::move(credential);
}

void URLCredentialStorage::removeCredential(const std::shared_ptr<URLCredential>& credential,
                                            const URLProtectionSpace& space) {
    if (!credential) {
        return;
    }
    std::lock_guard lock(mutex_);
    auto found = spaces_.find(space.key());
    if (found == spaces_.end()) {
        return;
    }
    found->second.byUser.erase(credential->user());
    if (found->second.defaultUser == credential->user()) {
        found->second.defaultUser.clear();
    }
}

}  // namespace url
