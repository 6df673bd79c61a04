#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "net/operations/ParsedBody.h"
#include "net/operations/TypedRequestOperation.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/Value.h"

namespace net {

// Property-list formats as the platform numbers them.
enum class PropertyListFormat : std::uint64_t {
    Unknown = 0,
    OpenStep = 1,
    XML = 100,
    Binary = 200,
};

// An HTTP request operation whose body is a property list, XML or binary, read into a value
// tree (data as bytes, dates as seconds since 2001-01-01, UIDs as integers). The success
// block receives the tree (std::shared_ptr<const core::Value>) as its response object.
class PropertyListRequestOperation : public TypedRequestOperation {
public:
    using PropertyList = std::shared_ptr<const core::Value>;
    using Success = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const PropertyList& propertyList)>;
    using Failure = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const core::Error& error, const PropertyList& propertyList)>;

    static constexpr const char* kProcessingQueueLabel =
        "com.corvane.networking.property-list-request.processing";

    static std::shared_ptr<PropertyListRequestOperation> create(const url::URLRequest& request);
    static std::shared_ptr<PropertyListRequestOperation> propertyListRequestOperationWithRequest(
        const url::URLRequest& request, Success success, Failure failure);
    // Accepts "application/x-plist"; claims URL paths ending in ".plist".
    static const OperationClass& staticClass();
    const OperationClass& operationClass() const override { return staticClass(); }
    static std::shared_ptr<core::DispatchQueue> processingQueue();

    // Read options are passed through; 0 after creation.
    std::uint64_t propertyListReadOptions() const { return readOptions_; }
    void setPropertyListReadOptions(std::uint64_t options) { readOptions_ = options; }

    // Null until the operation finished with a non-empty body, and when the body is not a
    // property list; a body is read at most once.
    PropertyList responsePropertyList() const;
    // Unknown until a body was read.
    PropertyListFormat propertyListFormat() const;
    std::shared_ptr<const core::Error> propertyListError() const;
    std::shared_ptr<const core::Error> error() const override;

protected:
    explicit PropertyListRequestOperation(const url::URLRequest& request);
    std::shared_ptr<core::DispatchQueue> bodyProcessingQueue() const override;
    std::any processedObject() const override;

private:
    struct Read {
        PropertyList list;
        PropertyListFormat format = PropertyListFormat::Unknown;
    };

    std::atomic<std::uint64_t> readOptions_{0};
    ParsedBody<Read> read_;
};

// Reads an XML or binary property list; sets `error` when the bytes are neither or unsafe.
core::Value parsePropertyList(const core::Bytes& bytes, PropertyListFormat& format,
                              std::shared_ptr<const core::Error>& error);

}  // namespace net
