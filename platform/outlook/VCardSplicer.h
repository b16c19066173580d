#pragma once

#include <outlook/VCard.h>

#include <cstddef>
#include <string>

namespace outlook {
// Changes the text of a vCard file one card at a time, leaving every other
// byte as it was: a new card goes at the end, and a changed card is
// rewritten with the fields a contact item maps, keeping the card's other
// lines (addresses, notes, photos ...) as they were written. Further e-mail
// addresses, telephone numbers and web pages of a changed card are not
// kept: the contact item holds only its own.
class CVCardSplicer {
public:
    // The text with the card appended, on a line of its own.
    static std::string Append(const std::string& text, const CVCard& card);

    // The text with its index-th individual card (as CVCardFile::Parse
    // counts them, 0-based) rewritten as `card`. False with the reason when
    // there is no such card or the cards cannot be told apart.
    static bool Replace(const std::string& text, std::size_t index, const CVCard& card, std::string& result,
                        std::string& error);
};
} // namespace outlook
