#include <wirekit/MessageComposer.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/Message.h>

#include <cstring>
#include <new>

namespace {

constexpr const char* kMessageEnd = " ))";
constexpr const char* kFormatError = "<CCommunicator> Error formatting ACL string !!";

} // namespace

std::optional<std::string> CMessageComposer::compose(const Head& head, const std::vector<const char*>& pieces,
                                                     std::string& error)
{
    for (const char* piece : pieces) {
        if (std::strchr(piece, CClientSocket::END_OF_MESSAGE)) {
            error = kFormatError;
            return std::nullopt;
        }
    }
    CMessage message;
    const char* composed =
        message.compose_message(head.performative, head.receiver, head.sender, head.ontology, head.language,
                                head.reply_with, head.in_reply_to, head.forward, 0);
    if (!composed) {
        error = kFormatError;
        return std::nullopt;
    }
    try {
        std::string text = composed;
        for (const char* piece : pieces) {
            if (*piece)
                text.append(" ").append(piece);
        }
        text.append(kMessageEnd);
        text.push_back(CClientSocket::END_OF_MESSAGE);
        return text;
    } catch (const std::bad_alloc&) {
        error = "<CCommunicator> Error composing message";
        return std::nullopt;
    }
}

std::vector<const char*> CMessageComposer::collect_pieces(va_list pieces)
{
    std::vector<const char*> out;
    for (const char* piece = va_arg(pieces, const char*); piece; piece = va_arg(pieces, const char*))
        out.push_back(piece);
    return out;
}

std::string CMessageComposer::without_end(const std::string& text)
{
    if (!text.empty() && text.back() == CClientSocket::END_OF_MESSAGE)
        return text.substr(0, text.size() - 1);
    return text;
}
