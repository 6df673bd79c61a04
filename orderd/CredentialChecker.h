#pragma once

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>

#include "orderd/Result.h"

namespace orderd {

class Database;

// Checks a user name and password on every request. Stored hashes are memory-hard
// (libsodium's crypto_pwhash), which costs tens of milliseconds per check; the app sends its
// credentials with every photo, so a password that verified recently is remembered as a keyed
// digest (never as text) and later requests compare digests in constant time. Failed checks
// always pay the full hash, and unknown users are checked against a dummy hash so that timing
// does not tell which names exist.
class CredentialChecker {
public:
    using Clock = std::chrono::steady_clock;

    explicit CredentialChecker(Database& database,
                               Clock::duration rememberFor = std::chrono::minutes(5));

    bool verify(const std::string& username, const std::string& password);

    static Result<std::string> hashPassword(const std::string& password);

private:
    using Digest = std::array<unsigned char, 32>;
    struct Remembered {
        std::string storedHash;
        Digest digest;
        Clock::time_point expires;
    };

    Digest digestOf(const std::string& username, const std::string& password) const;
    const std::string& dummyHash();
    bool matchesRemembered(const std::string& username, const std::string& storedHash,
                           const Digest& digest);

    Database& database_;
    Clock::duration rememberFor_;
    std::array<unsigned char, 32> digestKey_;
    std::once_flag dummyMade_;
    std::string dummyHash_;  // made on first need: commands that never check pay nothing
    // Each full check takes 64 MiB; a burst of first requests must not take it fifty times over.
    std::counting_semaphore<> hashing_{2};
    std::mutex mutex_;
    std::map<std::string, Remembered> remembered_;  // guarded by mutex_
};

}  // namespace orderd
