#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CParsedText;

// Reads one HTTP/1.x request or response (SSDP datagrams included): a request
// line "METHOD TARGET HTTP/x.y" or a status line "HTTP/x.y CODE [REASON]",
// header lines "Name: value" up to an empty line, then the body.
//
// Lines end with CR LF or a bare LF. A header line that starts with a blank
// or tab continues the previous header; it is joined with one blank. Header
// values lose surrounding blanks and tabs. With a Content-Length header the
// body is that many bytes and a shorter text is incomplete; without one the
// body is the rest of the text. Transfer codings are not decoded.
class CHTTPReader {
public:
    // Fills `out` and returns true for a complete, well-formed message.
    static bool read(const char* text, std::size_t len, CParsedText& out);

private:
    struct Line {
        std::size_t begin;
        std::size_t end;
        std::size_t next;
    };
    struct Header {
        std::string name;
        std::string value;
    };
    struct StartLine {
        std::string method;
        std::string target;
        std::string version;
        std::string status;
        std::string reason;
        bool response = false;
    };

    static bool next_line(const char* text, std::size_t len, std::size_t pos, Line& line);
    static bool parse_start_line(const char* text, const Line& line, StartLine& start);
    static bool parse_request_line(const std::string& line, StartLine& start);
    static bool parse_status_line(const std::string& line, StartLine& start);
    static bool is_version(const std::string& text);
    static bool is_token(const std::string& text);
    static bool to_size(const std::string& digits, std::size_t& value);
    static bool read_headers(const char* text, std::size_t len, std::size_t& pos,
                             std::vector<Header>& headers);
    static bool add_header_line(const std::string& line, std::vector<Header>& headers);
    static bool body_length(const std::vector<Header>& headers, std::size_t available, std::size_t& length);
    static void store(const char* text, const StartLine& start, const std::vector<Header>& headers,
                      std::size_t body_at, std::size_t body_len, CParsedText& out);
};
