#pragma once

#include <string>
#include <vector>

class CRDFNode;

// How the calendar objects read a node: properties by their local name in
// the calendar namespaces (compared without regard to case), literal texts
// and the texts of resources that stand for one.
namespace nodereader {

// The part of a property URI after its last "#" or "/", in lower case.
std::string LocalName(const std::string& uri);
// Whether a property is of the hybrid or the W3C calendar namespace.
bool IsCalendarProperty(const std::string& uri);

// The objects of the node's calendar properties with that local name
// (lower case), in document order.
std::vector<CRDFNode*> CalendarValues(const CRDFNode* node, const char* localName);
CRDFNode* CalendarValue(const CRDFNode* node, const char* localName);
// The objects of one full property URI.
std::vector<CRDFNode*> Values(const CRDFNode* node, const std::string& property);
CRDFNode* Value(const CRDFNode* node, const std::string& property);

// A literal's text; for a resource or blank node, its rdf:value, rdfs:label
// or calendar name when it has one; empty otherwise.
std::string Text(const CRDFNode* node);
// A literal's text or a resource's URI (addresses may come either way).
std::string TextOrUri(const CRDFNode* node);
// A literal's text, or the text of a resource's rdf:value, dateTime or date.
std::string DateText(const CRDFNode* node);
// Whether the node is typed with a class of that URI.
bool HasType(const CRDFNode* node, const std::string& classUri);

} // namespace nodereader
