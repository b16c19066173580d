#pragma once

#include <lexikit/Parser.h>

// A CParser that accepts only KQML text; anything else gives 0.
class CKQMLParser : public CParser {
public:
    CKQMLParser();
};
