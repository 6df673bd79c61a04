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
    : HTTPRequestOperation(request) {
    staticClass();
}

std::shared_ptr<XMLParserRequestOperation>
XMLParserRequestOperation::XMLParserRequestOperationWithRequest(const url::URLRequest& request,
                                                                Success success, Failure failure) {
    auto operation = create(request);
    SuccessBlock onSuccess;
    if (success) {
        onSuccess = [success = std::move(success)](const auto& self, const std::any& object) {
            success(self->request(), self->response(), std::any_cast<Parser>(object));
        };
    }
    FailureBlock onFailure;
    if (failure) {
        onFailure = [failure = std::move(failure)](const auto& self, const core::Error& error) {
            auto parser = static_cast<const XMLParserRequestOperation&>(*self).responseXMLParser();
            failure(self->request(), self->response(), error, parser);
        };
    }
    operation->setCompletionBlockWithSuccess(std::move(onSuccess), std::move(onFailure));
    return operation;
}

XMLParserRequestOperation::Parser XMLParserRequestOperation::responseXMLParser() const {
    std::lock_guard lock(xmlMutex_);
    if (parser_ || !isFinished()) {
        return parser_;
    }
    auto body = responseData();
    if (body && !body->empty()) {
        parser_ = std::make_shared<XMLParser>(std::move(body));
    }
    return parser_;
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
    if (auto parser = responseXMLParser()) {
        parser->setDelegate({});
    }
}

void XMLParserRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                              FailureBlock failure) {
    auto self = std::static_pointer_cast<XMLParserRequestOperation>(shared_from_this());
    setCompletionBlock([self, success = std::move(success), failure = std::move(failure)] {
        if (self->isCancelled()) {
            return;
        }
        processingQueue()->async([self, success, failure] {
            auto parser = self->responseXMLParser();
            if (auto error = self->error()) {
                if (failure) {
                    self->queueForFailure()->async(
                        [self, failure, error] { failure(self, *error); });
                }
            } else if (success) {
                self->queueForSuccess()->async([self, success, parser] { success(self, parser); });
            }
        });
    });
}

}  // namespace net
