#include <ansd/ClientConnection.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

CClientConnection::CClientConnection(int fd, std::string peer, CRequestHandler& handler)
    : fd(fd), peer(std::move(peer)), handler(handler), input(CRequestHandler::kMaxRequestLength),
      lastActivity(Clock::now())
{
}

CClientConnection::~CClientConnection()
{
    ::close(fd);
}

void CClientConnection::OnEvents(bool readable, bool writable)
{
    lastActivity = Clock::now();
    if (writable)
        Flush();
    // Output drained below the limit: lines that arrived meanwhile come next.
    if (!OutputFull())
        AnswerLines();
    if (readable && WantsRead())
        ReadRequests();
    Flush();
}

bool CClientConnection::WantsRead() const
{
    return !failed && !inputEnded && !closing && !OutputFull();
}

bool CClientConnection::WantsWrite() const
{
    return !failed && outputStart < output.size();
}

bool CClientConnection::Finished() const
{
    if (failed)
        return true;
    return (inputEnded || closing) && outputStart == output.size();
}

CClientConnection::Clock::time_point CClientConnection::LastActivity() const
{
    return lastActivity;
}

int CClientConnection::Descriptor() const
{
    return fd;
}

void CClientConnection::ReadRequests()
{
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failed = errno != EAGAIN && errno != EWOULDBLOCK;
            return;
        }
        if (n == 0) {
            inputEnded = true;
            AnswerRest();
            return;
        }
        input.Append(chunk, static_cast<std::size_t>(n));
        AnswerLines();
        // A short read has most likely emptied the socket; poll says so if
        // not, and the extra recv() would cost more than it ever finds.
        if (static_cast<std::size_t>(n) < sizeof chunk || !WantsRead())
            return;
    }
}

void CClientConnection::AnswerLines()
{
    while (!closing && !OutputFull()) {
        std::string_view line;
        const CLineBuffer::Next next = input.Take(line);
        if (next == CLineBuffer::Next::NeedMore)
            return;
        Answer(next, line);
    }
}

void CClientConnection::AnswerRest()
{
    // The whole input is here now: every line is answered, whatever the
    // output limit, and a last line without its line end too.
    while (!closing) {
        std::string_view line;
        CLineBuffer::Next next = input.Take(line);
        if (next == CLineBuffer::Next::NeedMore)
            next = input.TakeRest(line);
        if (next == CLineBuffer::Next::NeedMore)
            return;
        Answer(next, line);
    }
}

void CClientConnection::Answer(CLineBuffer::Next next, std::string_view line)
{
    if (next == CLineBuffer::Next::TooLong) {
        handler.HandleTooLong(peer, output);
        closing = true;
        return;
    }
    handler.Handle(line, peer, output);
}

void CClientConnection::Flush()
{
    while (!failed && outputStart < output.size()) {
        const ssize_t n = ::send(fd, output.data() + outputStart, output.size() - outputStart, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failed = errno != EAGAIN && errno != EWOULDBLOCK;
            return;
        }
        outputStart += static_cast<std::size_t>(n);
    }
    // Emptied: start again at the front, keeping the allocation.
    output.clear();
    outputStart = 0;
}

bool CClientConnection::OutputFull() const
{
    return output.size() - outputStart > kMaxPendingOutput;
}
