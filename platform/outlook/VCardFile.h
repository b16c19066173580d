#pragma once

#include <outlook/VCard.h>

#include <cstddef>
#include <string>
#include <vector>

namespace outlook {
// Reads and writes the contacts of a vCard file (versions 2.1, 3.0 and 4.0
// read, 3.0 written). Only the fields a contact item keeps are read; the rest
// of a card is ignored. Nothing here throws.
class CVCardFile {
public:
    // Larger texts are refused rather than read.
    static constexpr std::size_t MaxTextSize = 16u * 1024u * 1024u;

    // Every individual contact of a vCard 3.0/4.0 text (folded lines, escapes, CRLF or LF); cards
    // that are not individual contacts (groups, organisations, ...) are skipped. False with a
    // reason for text that is not a vCard stream; `cards` is then empty.
    static bool Parse(const std::string& text, std::vector<CVCard>& cards, std::string& error);
    // One vCard 3.0 card, CRLF line ends, folded at 75 octets, values escaped, ends with CRLF.
    // A card without a uid is written with a fresh one.
    static std::string Format(const CVCard& card);
    // A fresh random uid ("xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx").
    static std::string MakeUid();
};
} // namespace outlook
