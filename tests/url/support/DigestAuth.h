#pragma once

#include <string>

#include "tests/support/LoopbackServer.h"

namespace test {

// A handler that demands HTTP Digest (RFC 7616, MD5, qop=auth) for one user and answers
// `success` once the request proves it knows the password.
LoopbackServer::Handler digestAuth(std::string realm, std::string user, std::string password,
                                   ScriptedResponse success);

}  // namespace test
