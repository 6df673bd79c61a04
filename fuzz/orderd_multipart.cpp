// The service's multipart parser on hostile bodies cut into chunks of any size: callbacks come
// in order, limits hold, and the outcome does not depend on how the body was sliced.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "orderd/MultipartParser.h"

namespace {

// Records what the parser reports and checks the order of the calls.
class RecordingListener : public orderd::MultipartListener {
public:
    orderd::Status partBegan(const orderd::PartInfo& part) override {
        fuzz::check(!inPart_, "a part begins only after the previous one ended");
        inPart_ = true;
        record_ +=
            "<" + part.name + "|" + part.fileName.value_or("-") + "|" + part.contentType + ">";
        ++parts_;
        return {};
    }
    orderd::Status partData(std::string_view bytes) override {
        fuzz::check(inPart_, "data arrives only inside a part");
        record_ += bytes;
        return {};
    }
    orderd::Status partEnded() override {
        fuzz::check(inPart_, "only a begun part ends");
        inPart_ = false;
        record_ += "</>";
        return {};
    }
    bool inPart() const { return inPart_; }
    std::size_t parts() const { return parts_; }
    const std::string& record() const { return record_; }

private:
    bool inPart_ = false;
    std::size_t parts_ = 0;
    std::string record_;
};

struct Outcome {
    bool ok = true;
    bool complete = false;
    std::string record;
};

Outcome parse(std::string_view body, const std::vector<std::size_t>& cuts) {
    constexpr std::string_view boundary = "Boundary+0xAbCdEfGbOuNdArY";
    RecordingListener listener;
    orderd::MultipartParser::Limits limits;
    limits.maxParts = 4;
    limits.maxHeaderBlock = 256;
    limits.maxPreamble = 64;
    orderd::MultipartParser parser{std::string(boundary), listener, limits};
    Outcome outcome;
    std::size_t at = 0;
    for (std::size_t turn = 0; at < body.size() && outcome.ok; ++turn) {
        const std::size_t length = std::min(cuts[turn % cuts.size()], body.size() - at);
        outcome.ok = parser.feed(body.substr(at, length)).ok();
        at += length;
    }
    outcome.complete = parser.isComplete();
    outcome.record = listener.record();
    fuzz::check(listener.parts() <= limits.maxParts, "no more parts than the limit");
    fuzz::check(!outcome.complete || !listener.inPart(), "a complete body has no open part");
    fuzz::check(!outcome.complete || outcome.ok, "a failed body is never complete");
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<std::size_t> cuts;
    for (int n = input.ConsumeIntegralInRange(1, 8); n > 0; --n) {
        cuts.push_back(input.ConsumeIntegralInRange<std::size_t>(1, 64));
    }
    const std::string body = input.ConsumeRemainingBytesAsString();
    const Outcome sliced = parse(body, cuts);
    const Outcome whole = parse(body, {body.size() + 1});
    fuzz::check(sliced.ok == whole.ok && sliced.complete == whole.complete,
                "slicing does not change whether a body is accepted");
    if (whole.ok) {
        fuzz::check(sliced.record == whole.record, "slicing does not change the parts");
    }
    return 0;
}
