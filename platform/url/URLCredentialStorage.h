#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/url/URLCredential.h"
#include "platform/url/URLProtectionSpace.h"

namespace url {

// Credentials per protection space, keyed by user name, with one default per space.
// Thread-safe. Kept in memory only.
class URLCredentialStorage {
public:
    using CredentialMap = std::map<std::string, std::shared_ptr<URLCredential>>;

    static std::shared_ptr<URLCredentialStorage> shared();
    static std::shared_ptr<URLCredentialStorage> create();

    CredentialMap credentialsForProtectionSpace(const URLProtectionSpace& space) const;
    std::shared_ptr<URLCredential> defaultCredentialForProtectionSpace(
        const URLProtectionSpace& space) const;

    // A credential with persistence None is not stored.
    void setCredential(std::shared_ptr<URLCredential> credential, const URLProtectionSpace& space);
    // Stores it as well, and makes it the space's default.
    void setDefaultCredential(std::shared_ptr<URLCredential> credential,
                              const URLProtectionSpace& space);
    void removeCredential(const std::shared_ptr<URLCredential>& credential,
                          const URLProtectionSpace& space);

private:
    URLCredentialStorage() = default;

    struct Space {
        CredentialMap byUser;
        std::string defaultUser;  // empty: none
    };

    mutable std::mutex mutex_;
    std::map<std::string, Space> spaces_;  // by URLProtectionSpace::key(); guarded by mutex_
};

}  // namespace url
