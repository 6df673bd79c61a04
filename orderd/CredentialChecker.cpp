#include "orderd/CredentialChecker.h"

#include <sodium.h>

#include <cstdlib>

#include "orderd/Database.h"
#include "orderd/Validation.h"

namespace orderd {

CredentialChecker::CredentialChecker(Database& database, Clock::duration rememberFor)
    : database_(database), rememberFor_(rememberFor) {
    if (sodium_init() < 0) {
        std::abort();  // no safe way to check passwords without it
    }
    randombytes_buf(digestKey_.data(), digestKey_.size());
}

const std::string& CredentialChecker::dummyHash() {
    std::call_once(dummyMade_, [this] {
        std::array<unsigned char, 16> noise;
        randombytes_buf(noise.data(), noise.size());
        auto dummy = hashPassword(std::string(reinterpret_cast<const char*>(noise.data()), 16));
        dummyHash_ = dummy.ok() ? dummy.value() : std::string();
    });
    return dummyHash_;
}

Result<std::string> CredentialChecker::hashPassword(const std::string& password) {
    if (sodium_init() < 0) {
        return Error{"cannot initialise libsodium"};
    }
    std::array<char, crypto_pwhash_STRBYTES> out{};
    if (crypto_pwhash_str(out.data(), password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        return Error{"cannot hash the password (out of memory?)"};
    }
    return std::string(out.data());
}

CredentialChecker::Digest CredentialChecker::digestOf(const std::string& username,
                                                      const std::string& password) const {
    Digest digest;
    crypto_generichash_state state;
    crypto_generichash_init(&state, digestKey_.data(), digestKey_.size(), digest.size());
    auto length = static_cast<std::uint64_t>(username.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(&length),
                              sizeof length);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(username.data()),
                              username.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(password.data()),
                              password.size());
    crypto_generichash_final(&state, digest.data(), digest.size());
    return digest;
}

bool CredentialChecker::matchesRemembered(const std::string& username,
                                          const std::string& storedHash, const Digest& digest) {
    std::lock_guard lock(mutex_);
    auto it = remembered_.find(username);
    if (it == remembered_.end()) {
        return false;
    }
    // A changed password has a new stored hash, which forgets the old one at once.
    bool fresh = it->second.storedHash == storedHash && Clock::now() < it->second.expires;
    bool same = sodium_memcmp(it->second.digest.data(), digest.data(), digest.size()) == 0;
    return fresh && same;
}

bool CredentialChecker::verify(const std::string& username, const std::string& password) {
    auto stored = isValidUsername(username) ? database_.passwordHash(username) : std::nullopt;
    const std::string& hash = stored ? *stored : dummyHash();
    Digest digest = digestOf(username, password);
    if (stored && matchesRemembered(username, hash, digest)) {
        return true;
    }
    hashing_.acquire();
    // Another request may have verified the same credentials while this one waited.
    bool good = stored && matchesRemembered(username, hash, digest);
    if (!good) {
        good = !hash.empty() &&
               crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    }
    hashing_.release();
    if (!good || !stored) {
        return false;
    }
    std::lock_guard lock(mutex_);
    remembered_[username] = Remembered{hash, digest, Clock::now() + rememberFor_};
    return true;
}

}  // namespace orderd
