#include "orderd/UploadExchange.h"

#include <array>

namespace orderd {
namespace {

constexpr std::array<const char*, 4> kTextFields{"username", "password", "order", "location"};
constexpr std::size_t kMaxFieldBytes = 1024;

bool isTextField(const std::string& name) {
    for (const char* known : kTextFields) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

}  // namespace

UploadExchange::UploadExchange(const PhotoStore& photos, std::uint32_t batchIndex,
                               std::string boundary)
    : photos_(photos), batchIndex_(batchIndex), parser_(std::move(boundary), *this) {}

void UploadExchange::consume(std::string_view chunk) {
    if (outcome_ != Outcome::Receiving) {
        return;
    }
    if (auto status = parser_.feed(chunk); !status.ok()) {
        if (outcome_ == Outcome::Receiving) {
            outcome_ = Outcome::Malformed;
        }
        problem_ = status.error().message;
        photo_.reset();
    }
}

std::optional<std::string> UploadExchange::field(const std::string& name) const {
    auto it = fields_.find(name);
    return it == fields_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

Status UploadExchange::partBegan(const PartInfo& part) {
    if (part.name == "file") {
        if (photo_) {
            return Error{"more than one file part"};
        }
        auto temp = photos_.createTemp();
        if (!temp.ok()) {
            outcome_ = Outcome::StorageFailed;
            return temp.error();
        }
        photo_.emplace(std::move(temp.value()));
        target_ = Target::Photo;
        return {};
    }
    if (!isTextField(part.name)) {
        target_ = Target::Ignored;
        return {};
    }
    if (!fields_.emplace(part.name, std::string()).second) {
        return Error{"field '" + part.name + "' given twice"};
    }
    currentField_ = part.name;
    target_ = Target::Field;
    return {};
}

Status UploadExchange::partData(std::string_view bytes) {
    switch (target_) {
        case Target::Photo:
            if (auto status = photo_->write(bytes); !status.ok()) {
                outcome_ = Outcome::StorageFailed;
                return status;
            }
            return {};
        case Target::Field: {
            auto& value = fields_[currentField_];
            if (value.size() + bytes.size() > kMaxFieldBytes) {
                return Error{"field '" + currentField_ + "' too long"};
            }
            value.append(bytes);
            return {};
        }
        case Target::Ignored:
            return {};
    }
    return {};
}

Status UploadExchange::partEnded() {
    target_ = Target::Ignored;
    return {};
}

}  // namespace orderd
