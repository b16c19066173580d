#pragma once

#include <lexikit/Parser.h>

// A CParser that accepts only HTTP text; anything else gives 0.
class CHTTPParser : public CParser {
public:
    CHTTPParser();
};
