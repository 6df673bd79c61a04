// Form encoding of a parameter tree of 10,000 pairs against curl_easy_escape over the same
// text. The peer is handed the pairs already flattened to field names and value strings, so
// it only escapes and joins; ours walks the tree as well.
//
// Each side's work is one non-inlined function, and each reports as counter "calls" how often
// that function has run in this process: scripts/run-bench counts instructions per call under
// callgrind with that, a figure the load of a shared machine does not move.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net/client/QueryString.h"

namespace {

constexpr int kOrders = 100;
constexpr int kNotesPerOrder = 90;
constexpr int kTagsPerOrder = 10;

std::string noteText(int order, int note) {
    return "Photo " + std::to_string(note) + " of order #" + std::to_string(order) +
           ": front door, 2nd floor & lift / \xC3\xBC"
           "bergabe 100% ok";
}

struct Sample {
    core::Value::Map tree;
    std::vector<std::pair<std::string, std::string>> pairs;  // the tree's pairs, flattened
};

const Sample& sample() {
    static const Sample made = [] {
        Sample sample;
        for (int order = 0; order < kOrders; ++order) {
            const std::string key = "order " + std::to_string(order);
            core::Value::Map fields;
            for (int note = 0; note < kNotesPerOrder; ++note) {
                const std::string field = "note " + std::to_string(note);
                fields.set(field, noteText(order, note));
                sample.pairs.emplace_back(key + "[" + field + "]", noteText(order, note));
            }
            core::Value::List tags;
            for (int tag = 0; tag < kTagsPerOrder; ++tag) {
                tags.emplace_back("tag " + std::to_string(tag) + "/site");
                sample.pairs.emplace_back(key + "[tags][]", "tag " + std::to_string(tag) + "/site");
            }
            fields.set("tags", std::move(tags));
            sample.tree.set(key, std::move(fields));
        }
        return sample;
    }();
    return made;
}

std::int64_t proofshotCalls = 0;
std::int64_t curlCalls = 0;

[[gnu::noinline]] std::string encodeWithProofshot(const core::Value::Map& tree) {
    ++proofshotCalls;
    return net::BuildQueryString(tree).value_or("");
}

[[gnu::noinline]] std::string encodeWithCurl(
    CURL* handle, const std::vector<std::pair<std::string, std::string>>& pairs) {
    ++curlCalls;
    std::string body;
    for (const auto& [field, value] : pairs) {
        char* escapedField = curl_easy_escape(handle, field.data(), static_cast<int>(field.size()));
        char* escapedValue = curl_easy_escape(handle, value.data(), static_cast<int>(value.size()));
        if (!body.empty()) {
            body += '&';
        }
        body += escapedField;
        body += '=';
        body += escapedValue;
        curl_free(escapedField);
        curl_free(escapedValue);
    }
    return body;
}

void report(benchmark::State& state, std::size_t bytes, std::int64_t calls) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.counters["calls"] = static_cast<double>(calls);
    state.counters["body_bytes"] = static_cast<double>(bytes);
}

void FormEncodingProofshot(benchmark::State& state) {
    const auto& tree = sample().tree;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto body = encodeWithProofshot(tree);
        bytes = body.size();
        benchmark::DoNotOptimize(body);
    }
    if (bytes == 0) {
        state.SkipWithError("the tree did not encode");
    }
    report(state, bytes, proofshotCalls);
}

void FormEncodingCurlEscape(benchmark::State& state) {
    const auto& pairs = sample().pairs;
    CURL* handle = curl_easy_init();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto body = encodeWithCurl(handle, pairs);
        bytes = body.size();
        benchmark::DoNotOptimize(body);
    }
    curl_easy_cleanup(handle);
    report(state, bytes, curlCalls);
}

}  // namespace

BENCHMARK(FormEncodingProofshot)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FormEncodingCurlEscape)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
