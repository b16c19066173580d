#include <lexikit/XMLParser.h>

CXMLParser::CXMLParser() : CParser(1u << CParsedText::KIND_XML) {}
