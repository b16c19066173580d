#include <agentkit/HTTPDriver.h>

#include <wirekit/ClientSocket.h>

#include <cstring>

namespace {

const char kResponse[] = "HTTP/1.0 501 Not Implemented\r\n"
                         "Content-Type: text/plain\r\n"
                         "Content-Length: 37\r\n"
                         "Connection: close\r\n"
                         "\r\n"
                         "This port carries KQML agent traffic\n";

} // namespace

CHTTPDriver::CHTTPDriver() : CListElement("HTTP driver") {}

CHTTPDriver::~CHTTPDriver() = default;

const char* CHTTPDriver::not_implemented_response()
{
    return kResponse;
}

int CHTTPDriver::handle_request(CClientSocket* socket)
{
    if (!socket || socket->get_dirty())
        return 0;
    const char* request = socket->mfc_getdata();
    if (!request)
        return 0;
    dprintf("<CHTTPDriver> Answering HTTP request from [%s]", socket->get_hostname());
    // Straight to the socket: the message send would turn the header line
    // ends into blanks.
    int sent = socket->Send(kResponse, std::strlen(kResponse));
    socket->set_dirty(1);
    return sent > 0;
}
