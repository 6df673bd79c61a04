#include "net/operations/XMLParserRequestOperation.h"

#include <utility>

namespace net {

const OperationClass& XMLParserRequestOperation::staticClass() {
    static const OperationClass descriptor(
        "XMLParserRequestOperation", &HTTPRequestOperation::staticClass(),
        [](std::shared_ptr<const url::URLRequest> request) {
            return std::shared_ptr<URLConnectionOperation>(new XMLParserRequestOperation(*request));
        },
        [](const OperationClass& self, const url::URLRequest& request) {
            return (request.url() && request.url()->pathExtension() == "xml") ||
                   OperationClass::acceptHeaderMatches(self, request);
        });
    static const bool defaults = [] {
        descriptor.setAcceptableContentTypes(
            OperationClass::ContentTypes{"application/xml", "text/xml"});
        return true;
    }();
    (void)defaults;
    return descriptor;
}

std::shared_ptr<core::DispatchQueue> XMLParserRequestOperation::processingQueue() {
    static const auto queue = core::DispatchQueue::createSerial(kProcessingQueueLabel);
    return queue;
}

std::shared_ptr<XMLParserRequestOperation> XMLParserRequestOperation::create(
    const url::URLRequest& request) {
    return std::shared_ptr<XMLParserRequestOperation>(new XMLParserRequestOperation(request));
}

XMLParserRequestOperation::XMLParserRequestOperation(const url::URLRequest& request)
    : TypedRequestOperation(request) {
    staticClass();
}

std::shared_ptr<XMLParserRequestOperation>
XMLParserRequestOperation::XMLParserRequestOperationWithRequest(const url::URLRequest& request,
                                                                Success success, Failure failure) {
    auto operation = create(request);
    setRequestResponseBlocks(*operation, &XMLParserRequestOperation::responseXMLParser,
                             std::move(success), std::move(failure));
    return operation;
}

XMLParserRequestOperation::Parser XMLParserRequestOperation::responseXMLParser() const {
    return parser_.get(*this, [](const auto& body, ParsedBody<Parser>::ErrorPtr&) {
        return std::make_shared<XMLParser>(body);
    });
}

std::shared_ptr<const core::Error> XMLParserRequestOperation::XMLError() const {
    std::lock_guard lock(xmlMutex_);
    return xmlError_;
}

void XMLParserRequestOperation::setXMLError(std::shared_ptr<const core::Error> error) {
    std::lock_guard lock(xmlMutex_);
    xmlError_ = std::move(error);
}

std::shared_ptr<const core::Error> XMLParserRequestOperation::error() const {
    if (auto xmlError = XMLError()) {
        return xmlError;
    }
    return HTTPRequestOperation::error();
}

void XMLParserRequestOperation::cancel() {
    HTTPRequestOperation::cancel();
    if (auto parser = parser_.current()) {
        parser->setDelegate({});
    }
}

std::shared_ptr<core::DispatchQueue> XMLParserRequestOperation::bodyProcessingQueue() const {
    return processingQueue();
}

std::any XMLParserRequestOperation::processedObject() const {
    return responseXMLParser();
}

}  // namespace net
