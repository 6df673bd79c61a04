// JSON parse throughput: the typed operation's reader (simdjson, then a value tree) against
// nlohmann/json building its own document, nlohmann/json only checking the text, and
// simdjson's raw parse, on the same documents.
#include <benchmark/benchmark.h>

#include <simdjson.h>
#include <nlohmann/json.hpp>
#include <string>

#include "net/operations/JSONRequestOperation.h"

namespace {

// A typical API answer: a page of orders.
std::string smallDocument() {
    std::string text = R"({"status":"SUCCESS","page":1,"orders":[)";
    for (int i = 0; i < 12; ++i) {
        if (i > 0) {
            text.append(",");
        }
        text.append(R"({"id":)").append(std::to_string(4100 + i));
        text.append(R"(,"customer":"Field Customer )").append(std::to_string(i));
        text.append(R"(","total":129.5,"paid":true,"tags":["tile","grout"],"note":null})");
    }
    return text.append("]}");
}

// About 10 MB of the same shape.
std::string largeDocument() {
    const std::string one = smallDocument();
    std::string text = "[";
    while (text.size() < 10'000'000) {
        text.append(one).append(",");
    }
    text.back() = ']';
    return text;
}

const std::string& documentFor(const benchmark::State& state) {
    static const std::string small = smallDocument();
    static const std::string large = largeDocument();
    return state.range(0) == 0 ? small : large;
}

void TypedOperationReader(benchmark::State& state) {
    const std::string& text = documentFor(state);
    for (auto _ : state) {
        std::shared_ptr<const core::Error> error;
        auto value = net::parseJSONDocument(text, error);
        benchmark::DoNotOptimize(value);
        if (error) {
            state.SkipWithError("parse failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void NlohmannDocument(benchmark::State& state) {
    const std::string& text = documentFor(state);
    for (auto _ : state) {
        auto value = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void ParserRawAccept(benchmark::State& state) {
    const std::string& text = documentFor(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::accept(text));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void SimdjsonRawParse(benchmark::State& state) {
    const simdjson::padded_string text(documentFor(state));
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(text).get(root) != simdjson::SUCCESS) {
            state.SkipWithError("parse failed");
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// 0: small API answer, 1: 10 MB document.
BENCHMARK(TypedOperationReader)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(NlohmannDocument)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(ParserRawAccept)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(SimdjsonRawParse)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
