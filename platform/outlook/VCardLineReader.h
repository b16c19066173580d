#pragma once

#include <cstddef>
#include <string>

namespace outlook {
// Hands out the logical lines of a vCard text one at a time: physical lines
// end in CRLF, LF or CR; a line that starts with a blank or tab continues the
// one before (without that blank); a quoted-printable value that ends in '='
// goes on with the next line. A leading UTF-8 byte order mark is skipped.
// Lines are made only when asked for, so memory stays bounded by the longest
// line, however many lines the text has.
class CVCardLineReader {
public:
    // The text must outlive the reader.
    explicit CVCardLineReader(const std::string& text);

    // The next logical line and the number of the physical line it began on;
    // false at the end of the text.
    bool Next(std::string& line, std::size_t& number);

private:
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;  // one past the last octet of the line
        std::size_t next = 0; // where the following line starts
    };

    Span PhysicalAt(std::size_t pos) const;
    bool Continues(const Span& span, const std::string& line, bool quotedPrintable) const;
    bool IsCardEnd(const Span& span) const;

    const std::string& m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};
} // namespace outlook
