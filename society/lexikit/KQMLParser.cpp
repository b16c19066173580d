#include <lexikit/KQMLParser.h>

CKQMLParser::CKQMLParser() : CParser(1u << CParsedText::KIND_KQML) {}
