#pragma once

#include <string>

class CRDFGraph;

// Reads RDF text into a graph with Raptor: RDF/XML, Turtle or N-Triples,
// chosen by the content type when it names one, else RDF/XML for XML text
// and Turtle (which also reads N-Triples) for anything else.
// The parser never reaches the network or the disk for the document (no
// external entities, no imports).
class CRDFDocumentParser {
public:
    // The Raptor parser name for a document: "rdfxml", "turtle" or
    // "ntriples".
    static std::string SyntaxFor(const std::string& contentType, const std::string& text);

    // Adds the document's triples to `graph`, resolving relative URIs
    // against `baseUri`; the triples as N-Triples-like lines go to
    // `triples`. False with `error` (the parser's first message) when the
    // text is not RDF of that syntax or holds no triple.
    static bool Parse(const std::string& text, const std::string& contentType, const std::string& baseUri,
                      CRDFGraph& graph, std::string& triples, std::string& error);
};
