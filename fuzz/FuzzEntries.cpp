#include <FuzzEntries.h>

#include <basekit/CommandLine.h>
#include <basekit/LList.h>
#include <basekit/URL.h>
#include <lexikit/KQMLText.h>
#include <lexikit/Parser.h>
#include <wirekit/ClientSocket.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Reading every byte lets AddressSanitizer see a dangling or unterminated
// result; the volatile sink keeps the reads from being optimised away.
volatile std::size_t sink = 0;

void touch(const char* text)
{
    if (text == nullptr)
        return;
    for (const char* p = text; *p != '\0'; ++p)
        sink = sink + static_cast<unsigned char>(*p);
}

std::optional<std::string> copy(const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

const char* c_str(const std::optional<std::string>& text)
{
    return text ? text->c_str() : nullptr;
}

bool holds_end_of_message(const std::optional<std::string>& text)
{
    return text && text->find('\x04') != std::string::npos;
}

struct KqmlHead {
    std::optional<std::string> performative, receiver, sender, ontology, language, reply_with, in_reply_to,
        forward, content;
};

KqmlHead read_head(CParser& parser)
{
    return KqmlHead{
        copy(parser.find_performative()), copy(parser.find_receiver()), copy(parser.find_sender()),
        copy(parser.find_ontology()),     copy(parser.find_language()), copy(parser.find_reply_with()),
        copy(parser.find_in_reply_to()),  copy(parser.find_forward()),  copy(parser.find_content())};
}

bool all_null(CParser& parser)
{
    return parser.get_parser_type() == 0 && parser.find_performative() == nullptr &&
           parser.find_sender() == nullptr && parser.find_receiver() == nullptr &&
           parser.find_ontology() == nullptr && parser.find_language() == nullptr &&
           parser.find_reply_with() == nullptr && parser.find_in_reply_to() == nullptr &&
           parser.find_forward() == nullptr && parser.find_content() == nullptr &&
           parser.find_contents() == nullptr && parser.listall_getfirst_token() == nullptr &&
           parser.listall_getfirst_contents() == nullptr && parser.get_tokens() == nullptr &&
           parser.get_http_method() == nullptr && parser.get_header_count() == 0 &&
           parser.get_xml_root() == nullptr;
}

// Walks tokens and contents together; every token must be found again by
// find_token and the walk must match get_tokens().
bool walk_tokens(CParser& parser)
{
    const int kind = parser.get_parser_type();
    int count = 0;
    const char* token = parser.listall_getfirst_token();
    const char* value = parser.listall_getfirst_contents();
    for (; token != nullptr; ++count) {
        if (value == nullptr)
            return false;
        touch(token);
        touch(value);
        const bool keyed = kind == 3 || (count > 0 && (kind == 2 || token[0] == ':'));
        if (keyed && parser.find_token(kind == 1 ? token + 1 : token) == nullptr)
            return false;
        token = parser.listall_getnext_token();
        value = parser.listall_getnext_contents();
    }
    CLList* tokens = parser.get_tokens();
    return value == nullptr && tokens != nullptr && tokens->get_nr_elements() == count;
}

bool check_http(CParser& parser)
{
    for (const char* part : {parser.get_http_method(), parser.get_http_target(), parser.get_http_version(),
                             parser.get_http_status(), parser.get_http_reason(), parser.get_http_body()})
        touch(part);
    const bool request = parser.get_http_method() != nullptr;
    if (request == (parser.get_http_status() != nullptr) || parser.get_http_body() == nullptr)
        return false;
    for (int i = 0; i < parser.get_header_count(); ++i) {
        if (parser.get_header_name(i) == nullptr || parser.get_header_value(i) == nullptr)
            return false;
    }
    return parser.get_header_name(parser.get_header_count()) == nullptr;
}

bool field_round_trips(const std::optional<std::string>& original, const char* reread)
{
    if (!original)
        return reread == nullptr;
    return reread != nullptr && CKQMLText::quote(original->c_str()) == reread &&
           CKQMLText::unquote(reread) == *original;
}

// Composing a head from the values found and completing it as the
// communicator does must give a message that reads back field by field.
bool compose_round_trip(CParser& parser, const KqmlHead& head)
{
    const char* composed = parser.compose_message(
        c_str(head.performative), c_str(head.receiver), c_str(head.sender), c_str(head.ontology),
        c_str(head.language), c_str(head.reply_with), c_str(head.in_reply_to), c_str(head.forward), 0);
    const bool refusable = !CKQMLText::is_plain_atom(c_str(head.performative)) ||
                           holds_end_of_message(head.performative) || holds_end_of_message(head.receiver) ||
                           holds_end_of_message(head.sender) || holds_end_of_message(head.ontology) ||
                           holds_end_of_message(head.language) || holds_end_of_message(head.reply_with) ||
                           holds_end_of_message(head.in_reply_to) || holds_end_of_message(head.forward);
    if (composed == nullptr)
        return refusable;
    if (refusable)
        return false;
    std::string message = composed;
    if (head.content)
        message += " " + *head.content;
    message += " ))";
    CParser reader;
    if (reader.parse_message(message.c_str()) != 1)
        return false;
    const std::string content = head.content ? "( " + *head.content + " )" : "( )";
    return reader.find_performative() != nullptr && *head.performative == reader.find_performative() &&
           field_round_trips(head.receiver, reader.find_receiver()) &&
           field_round_trips(head.sender, reader.find_sender()) &&
           field_round_trips(head.ontology, reader.find_ontology()) &&
           field_round_trips(head.language, reader.find_language()) &&
           field_round_trips(head.reply_with, reader.find_reply_with()) &&
           field_round_trips(head.in_reply_to, reader.find_in_reply_to()) &&
           field_round_trips(head.forward, reader.find_forward()) && reader.find_content() != nullptr &&
           content == reader.find_content();
}

// Parsing the parser's own content value must be safe and agree with a
// fresh parser reading a copy of it.
bool reparse_own_content(CParser& parser, const std::optional<std::string>& content)
{
    if (!content)
        return true;
    CParser fresh;
    const int expected = fresh.parse_message(content->c_str());
    return parser.parse_message(parser.find_content()) == expected;
}

// The input as text; libFuzzer may hand an empty input without a buffer.
std::string as_text(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return std::string();
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> split_arguments(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == '\0')
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

} // namespace

bool CFuzzEntries::parser(const std::uint8_t* data, std::size_t size)
{
    const std::string text = as_text(data, size);
    CParser parser;
    const int accepted = parser.parsable(text.c_str());
    const int result = parser.parse_message(text.c_str());
    if (result != accepted)
        return false;
    if (result == 0)
        return all_null(parser);
    if (!walk_tokens(parser))
        return false;
    if (parser.get_parser_type() == 3)
        return check_http(parser);
    if (parser.get_parser_type() == 2)
        return parser.get_xml_root() != nullptr;
    if (parser.get_parser_type() != 1)
        return false;
    const KqmlHead head = read_head(parser);
    if (!head.content != (parser.find_contents() == nullptr))
        return false;
    return head.performative && compose_round_trip(parser, head) && reparse_own_content(parser, head.content);
}

bool CFuzzEntries::url(const std::uint8_t* data, std::size_t size)
{
    // The parser sees the text only up to the first NUL.
    const std::string text = as_text(data, size).c_str();
    CURL url;
    const int result = url.parse_url(text.c_str());
    for (const char* part : {url.get_proto(), url.get_subproto(), url.get_host(), url.get_webpage(),
                             url.get_cgi(), url.get_name()})
        touch(part);
    for (CListElement* e = url.get_first_element(); e != nullptr; e = e->get_next())
        touch(e->get_name());
    if (text.find("://") == std::string::npos && result != 0)
        return false;
    if (result == 1 && url.get_host() == nullptr)
        return false;
    CURL again(text.c_str());
    return (again.get_host() == nullptr) == (url.get_host() == nullptr);
}

bool CFuzzEntries::commandline(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> pieces = split_arguments(data, size);
    std::vector<char*> argv;
    for (std::string& piece : pieces)
        argv.push_back(piece.data());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    CCommandLine line;
    line.parse_commandline(argc, argv.data());
    line.parse_commandline(argc, argv.data());
    for (const std::string& piece : pieces) {
        if (!piece.empty() && piece[0] == '-') {
            touch(line.find_token(piece.c_str()));
            touch(line.find_token(piece.c_str() + 1));
        }
    }
    for (CListElement* e = line.get_first_element(); e != nullptr; e = e->get_next())
        touch(e->get_name());
    return line.get_argc() == argc && line.get_argv() == argv.data();
}

namespace {

struct FramingInput {
    std::vector<std::size_t> chunk_sizes;
    std::string stream;
};

FramingInput split_framing_input(const std::uint8_t* data, std::size_t size)
{
    FramingInput input;
    if (size == 0)
        return input;
    const std::size_t count = std::min<std::size_t>(data[0] % 16, size - 1);
    for (std::size_t i = 1; i <= count; ++i)
        input.chunk_sizes.push_back(data[i] + 1u);
    input.stream.assign(reinterpret_cast<const char*>(data) + 1 + count, size - 1 - count);
    return input;
}

// The stream cut at every 0x04, and what follows the last one in `rest`.
std::vector<std::string> split_at_end_bytes(const std::string& stream, std::string& rest)
{
    std::vector<std::string> messages;
    rest.clear();
    for (const char c : stream) {
        if (c == CClientSocket::END_OF_MESSAGE) {
            messages.push_back(rest);
            rest.clear();
        } else {
            rest += c == '\0' ? ' ' : c;
        }
    }
    return messages;
}

std::vector<std::string> queued_messages(CClientSocket& socket)
{
    std::vector<std::string> out;
    for (CListElement* e = socket.get_queue()->get_element(0); e != nullptr; e = e->get_next())
        out.emplace_back(e->get_name());
    return out;
}

// buffer_data on one chunk must return the newest message exactly when it
// queued one.
bool feed_chunk(CClientSocket& socket, const char* data, std::size_t size)
{
    std::vector<char> chunk(data, data + size);
    const int before = socket.get_queue()->get_nr_elements();
    const char* last = socket.buffer_data(chunk.data(), static_cast<int>(chunk.size()));
    if (socket.get_queue()->get_nr_elements() == before)
        return last == nullptr;
    return last == socket.get_queue()->get_last_element()->get_name();
}

bool feed_stream(CClientSocket& socket, const FramingInput& input)
{
    const std::string& stream = input.stream;
    std::size_t turn = 0;
    for (std::size_t at = 0; at < stream.size();) {
        std::size_t n = stream.size() - at;
        if (!input.chunk_sizes.empty())
            n = std::min(n, input.chunk_sizes[turn++ % input.chunk_sizes.size()]);
        if (!feed_chunk(socket, stream.data() + at, n))
            return false;
        at += n;
    }
    return true;
}

} // namespace

bool CFuzzEntries::framing(const std::uint8_t* data, std::size_t size)
{
    const FramingInput input = split_framing_input(data, size);
    std::string rest;
    std::vector<std::string> expected = split_at_end_bytes(input.stream, rest);
    CClientSocket socket(nullptr, nullptr);
    if (!feed_stream(socket, input) || socket.get_dirty() != 0)
        return false;
    if (queued_messages(socket) != expected || socket.get_fragment_length() != rest.size())
        return false;
    const char end[] = {CClientSocket::END_OF_MESSAGE};
    if (!feed_chunk(socket, end, sizeof end))
        return false;
    expected.push_back(rest);
    return queued_messages(socket) == expected && socket.get_fragment_length() == 0;
}
