#pragma once

#include <lexikit/Parser.h>

// A CParser that accepts only XML text; anything else gives 0.
class CXMLParser : public CParser {
public:
    CXMLParser();
};
