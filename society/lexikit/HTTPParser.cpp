#include <lexikit/HTTPParser.h>

CHTTPParser::CHTTPParser() : CParser(1u << CParsedText::KIND_HTTP) {}
