#include "tests/url/support/DigestAuth.h"

#include <openssl/evp.h>

#include <map>

namespace test {
namespace {

constexpr const char* kNonce = "5f1b0c7e2d";

std::string md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

std::map<std::string, std::string> digestFields(const std::string& header) {
    std::map<std::string, std::string> fields;
    size_t at = header.find(' ');
    while (at != std::string::npos && at < header.size()) {
        size_t keyStart = header.find_first_not_of(", ", at);
        size_t equals = header.find('=', keyStart);
        if (keyStart == std::string::npos || equals == std::string::npos) {
            break;
        }
        std::string key = header.substr(keyStart, equals - keyStart);
        size_t valueStart = equals + 1;
        size_t valueEnd;
        if (header[valueStart] == '"') {
            valueEnd = header.find('"', valueStart + 1);
            fields[key] = header.substr(valueStart + 1, valueEnd - valueStart - 1);
            ++valueEnd;
        } else {
            valueEnd = std::min(header.find(',', valueStart), header.size());
            fields[key] = header.substr(valueStart, valueEnd - valueStart);
        }
        at = valueEnd;
    }
    return fields;
}

}  // namespace

LoopbackServer::Handler digestAuth(std::string realm, std::string user, std::string password,
                                   ScriptedResponse success) {
    return [=](const RecordedRequest& request) {
        auto header = request.header("Authorization");
        if (header && header->starts_with("Digest ")) {
            auto fields = digestFields(*header);
            std::string ha1 = md5Hex(user + ":" + realm + ":" + password);
            std::string ha2 = md5Hex(request.method + ":" + fields["uri"]);
            std::string expected = md5Hex(ha1 + ":" + kNonce + ":" + fields["nc"] + ":" +
                                          fields["cnonce"] + ":" + fields["qop"] + ":" + ha2);
            if (fields["username"] == user && fields["nonce"] == kNonce &&
                fields["response"] == expected) {
                return success;
            }
        }
        return ScriptedResponse::challenge(
            "Digest realm=\"" + realm + "\", qop=\"auth\", nonce=\"" + kNonce + "\", algorithm=MD5",
            "digest denied");
    };
}

}  // namespace test
