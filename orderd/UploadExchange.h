#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "orderd/MultipartParser.h"
#include "orderd/PhotoStore.h"
#include "orderd/TempPhoto.h"

namespace orderd {

// One photo upload as its multipart body streams in: the text fields are kept (small and
// bounded), the file part goes straight to a temporary file. Nothing is judged until the body
// is complete, because the parts may come in any order.
class UploadExchange : public MultipartListener {
public:
    enum class Outcome { Receiving, Malformed, StorageFailed };

    UploadExchange(const PhotoStore& photos, std::uint32_t batchIndex, std::string boundary);

    // Once the outcome is no longer Receiving the rest of the body is read and dropped.
    void consume(std::string_view chunk);

    Outcome outcome() const { return outcome_; }
    bool isComplete() const { return parser_.isComplete(); }
    const std::string& problem() const { return problem_; }
    std::uint32_t batchIndex() const { return batchIndex_; }
    // Empty optional when the field did not arrive.
    std::optional<std::string> field(const std::string& name) const;
    TempPhoto* photo() { return photo_ ? &*photo_ : nullptr; }

    Status partBegan(const PartInfo& part) override;
    Status partData(std::string_view bytes) override;
    Status partEnded() override;

private:
    enum class Target { Field, Photo, Ignored };

    const PhotoStore& photos_;
    std::uint32_t batchIndex_;
    MultipartParser parser_;
    Outcome outcome_ = Outcome::Receiving;
    std::string problem_;
    std::map<std::string, std::string> fields_;
    std::optional<TempPhoto> photo_;
    Target target_ = Target::Ignored;
    std::string currentField_;
};

}  // namespace orderd
