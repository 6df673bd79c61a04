#pragma once

#include <map>
#include <string>

#include "platform/core/Error.h"

namespace net {

class XMLParser;

// Receives the events of an XMLParser, on the thread that runs parse(). Every method has an
// empty default.
class XMLParserDelegate {
public:
    using Attributes = std::map<std::string, std::string>;

    virtual ~XMLParserDelegate() = default;
    virtual void parserDidStartDocument(XMLParser&) {}
    virtual void parserDidEndDocument(XMLParser&) {}
    virtual void didStartElement(XMLParser&, const std::string& /*name*/,
                                 const Attributes& /*attributes*/) {}
    virtual void didEndElement(XMLParser&, const std::string& /*name*/) {}
    // Text may arrive in several pieces for one run of characters.
    virtual void foundCharacters(XMLParser&, const std::string& /*text*/) {}
    virtual void parseErrorOccurred(XMLParser&, const core::Error& /*error*/) {}
};

}  // namespace net
