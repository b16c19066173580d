#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Collects the bytes of one connection and cuts them into request lines
// ended by "\n" or "\r\n". Holds at most one unfinished line, so a client
// that never sends a line end costs no more than the longest line allowed.
class CLineBuffer {
public:
    enum class Next { Line, NeedMore, TooLong };

    // `maxLine`: the longest line accepted, its line end not counted.
    explicit CLineBuffer(std::size_t maxLine);

    void Append(const char* data, std::size_t length);

    // The next complete line without its line end. The view stays valid
    // until the next call of any method. TooLong once the line being read
    // is known to exceed maxLine; what follows it is not read.
    Next Take(std::string_view& line);

    // At the end of input: the unfinished last line as a Line (a '\r' at
    // its end dropped), TooLong when it exceeds maxLine, NeedMore when
    // nothing is left.
    Next TakeRest(std::string_view& line);

    // Whether bytes of an unfinished line are held.
    bool HasPartial() const;

private:
    void Compact();

    std::string buffer;
    // Where the next line starts, and how far the search for its end got.
    std::size_t start = 0;
    std::size_t scanned = 0;
    std::size_t maxLine;
};
