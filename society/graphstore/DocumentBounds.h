#pragma once

#include <cstddef>
#include <string>

// What a document from outside may cost its reader, checked on the text
// before any parser sees it: the parsers' own defences (entity expansion,
// nesting) are either absent or far above what one schedule needs, and a
// parse never returns to the event loop until it ends.
class CDocumentBounds {
public:
    // Deeper nesting (XML elements, Turtle brackets and lists, iCalendar
    // components) is refused.
    static constexpr int MaxDepth = 256;
    // The text with every entity reference expanded may be at most this
    // multiple of the document's size, and never more than the ceiling.
    static constexpr std::size_t ExpansionFactor = 4;
    static constexpr std::size_t ExpansionCeiling = 64u << 20;

    // False with `error` when an XML text's entities or elements pass the
    // bounds.
    static bool CheckXml(const std::string& text, std::string& error);
    // False with `error` when a Turtle or N-Triples text nests too deep.
    static bool CheckTurtle(const std::string& text, std::string& error);
    // False with `error` when an iCalendar text nests components too deep.
    static bool CheckICalendar(const std::string& text, std::string& error);
    // The text with every byte sequence that is not UTF-8 replaced by
    // U+FFFD, so that nothing read from it carries raw bytes into files.
    static std::string ValidUtf8(const std::string& text);
};
