#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/ServiceEndpoints.h"
#include "platform/ui/Image.h"
#include "tests/app/AppHarness.h"

namespace loadtest {

// What the upload screen reported for one batch.
struct BatchReport {
    int acknowledged = 0;
    int failed = 0;
    int failureLines = 0;  // "error: " lines the failures logged
    // The photos the failure lines name, by their index in the batch (from the failing URL).
    std::multiset<int> failedIndices;
    std::string failures;  // those lines, for the message of a failed check
    bool ended = false;    // every photo was acknowledged or failed within the watchdog
};

// Distinct small pictures: the n-th differs from every other in its pixels.
std::vector<ui::ImagePtr> makePhotos(int count, int firstSerial, int width = 96, int height = 64);

// Uploads that can end only through their request time-out. Once every other upload of the
// batch has ended and `held` says these are stuck, the virtual clock passes the time-out.
struct Stalls {
    int count = 0;
    std::function<bool()> held;
};

// Pushes an upload screen for `photos` onto the harness's navigation stack, picks the after
// folder and pumps until every photo is acknowledged or failed. `whileRunning` is called on
// the main thread after the first acknowledgement (to break things mid-batch).
BatchReport uploadBatch(apptest::AppHarness& app, const app::ServiceEndpoints& endpoints,
                        const std::vector<ui::ImagePtr>& photos,
                        const std::function<void()>& whileRunning = {}, const Stalls& stalls = {});

// The photos the service keeps in `folder` that were not in `seen`, by the batch index in
// their names; `seen` gains them. Each index maps to every file stored for it.
std::multimap<int, std::string> newlyStored(const std::filesystem::path& folder,
                                            std::map<std::string, bool>& seen);

// The JPEG bytes the upload screen sends for `photo`.
std::string sentBytes(const ui::Image& photo);

// The port of an "http://127.0.0.1:<port>" address.
int portOf(const std::string& address);

}  // namespace loadtest
