#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/orderd/OrderdTestSupport.h"

namespace orderd::test {

inline constexpr int kUploads = 200;
inline constexpr int kClients = 50;
inline constexpr std::size_t kPhotoBytes = 200 * 1024;

// kUploads distinct JPEGs of kPhotoBytes each; photo i is uploaded with batch index i.
const std::vector<std::string>& loadPhotos();

// Runs kClients clients that share the upload indexes 0..kUploads-1 against order 1001. Each
// client stops at its first failure; `acknowledged` collects the indexes answered 200.
void uploadConcurrently(const std::string& baseUrl, const Fields& fields,
                        std::set<int>& acknowledged, std::atomic<int>& acknowledgedCount);

// Every acknowledged index has its row and a file identical to what was sent.
void expectStored(const std::filesystem::path& dataDir, const std::set<int>& acknowledged);

}  // namespace orderd::test
