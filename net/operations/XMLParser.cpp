#include "net/operations/XMLParser.h"

#include <expat.h>

#include <limits>
#include <string>

namespace net {

namespace {

enum class ParserCode : std::int64_t {
    Malformed = 1,
    Aborted = 2,
    EntitiesRefused = 3,
};

core::Error makeError(ParserCode code, std::string description) {
    core::Error error{std::string(XMLParser::ErrorDomain), static_cast<std::int64_t>(code)};
    error.set(core::LocalizedDescriptionKey, core::Value(std::move(description)));
    return error;
}

}  // namespace

// Expat calls back with this as user data for the length of one parse().
struct XMLParser::Run {
    XMLParser& parser;
    XML_Parser expat;
    std::shared_ptr<XMLParserDelegate> delegate() const { return parser.delegate(); }

    void stopIfAborted() const {
        if (parser.aborted_) {
            XML_StopParser(expat, XML_FALSE);
        }
    }
    static void start(void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* run = static_cast<Run*>(data);
        if (auto delegate = run->delegate()) {
            XMLParserDelegate::Attributes map;
            for (int i = 0; attributes[i] && attributes[i + 1]; i += 2) {
                map.emplace(attributes[i], attributes[i + 1]);
            }
            delegate->didStartElement(run->parser, name, map);
        }
        run->stopIfAborted();
    }
    static void end(void* data, const XML_Char* name) {
        auto* run = static_cast<Run*>(data);
        if (auto delegate = run->delegate()) {
            delegate->didEndElement(run->parser, name);
        }
        run->stopIfAborted();
    }
    static void text(void* data, const XML_Char* text, int length) {
        auto* run = static_cast<Run*>(data);
        if (auto delegate = run->delegate()) {
            delegate->foundCharacters(run->parser,
                                      std::string(text, static_cast<std::size_t>(length)));
        }
        run->stopIfAborted();
    }
    // Entity definitions are how a small document grows without bound; none are allowed.
    static void entity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
        auto* run = static_cast<Run*>(data);
        run->refusedEntities = true;
        XML_StopParser(run->expat, XML_FALSE);
    }
    bool refusedEntities = false;
};

XMLParser::XMLParser(std::shared_ptr<const core::Bytes> data)
    : data_(data ? std::move(data) : std::make_shared<const core::Bytes>()) {}

void XMLParser::setDelegate(std::weak_ptr<XMLParserDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<XMLParserDelegate> XMLParser::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<const core::Error> XMLParser::parserError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool XMLParser::parse() {
    {
        std::lock_guard lock(mutex_);
        if (result_) {
            return *result_;
        }
    }
    XML_Parser expat = XML_ParserCreate(nullptr);
    Run run{*this, expat};
    XML_SetUserData(expat, &run);
    XML_SetElementHandler(expat, &Run::start, &Run::end);
    XML_SetCharacterDataHandler(expat, &Run::text);
    XML_SetEntityDeclHandler(expat, &Run::entity);
    if (auto delegate = this->delegate()) {
        delegate->parserDidStartDocument(*this);
    }
    bool ok = data_->size() <= static_cast<std::size_t>(std::numeric_limits<int>::max()) &&
              XML_Parse(expat, reinterpret_cast<const char*>(data_->data()),
                        static_cast<int>(data_->size()), XML_TRUE) == XML_STATUS_OK;
    std::shared_ptr<const core::Error> error;
    if (run.refusedEntities) {
        error = std::make_shared<const core::Error>(
            makeError(ParserCode::EntitiesRefused, "Entity declarations are not accepted"));
    } else if (aborted_) {
        error = std::make_shared<const core::Error>(
            makeError(ParserCode::Aborted, "Parsing was aborted"));
    } else if (!ok) {
        error = std::make_shared<const core::Error>(
            makeError(ParserCode::Malformed, std::string(XML_ErrorString(XML_GetErrorCode(expat))) +
                                                 " at line " +
                                                 std::to_string(XML_GetCurrentLineNumber(expat))));
    }
    XML_ParserFree(expat);
    ok = ok && !error;
    if (auto delegate = this->delegate()) {
        if (error) {
            delegate->parseErrorOccurred(*this, *error);
        } else {
            delegate->parserDidEndDocument(*this);
        }
    }
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
    result_ = ok;
    return ok;
}

}  // namespace net
