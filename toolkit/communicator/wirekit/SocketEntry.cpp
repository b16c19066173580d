#include <wirekit/SocketEntry.h>

#include <wirekit/ClientSocket.h>

CSocketEntry::CSocketEntry(std::unique_ptr<CClientSocket> owned) : socket(std::move(owned))
{
    CListElement::set_content(socket.get());
}

CSocketEntry::~CSocketEntry() = default;

CClientSocket* CSocketEntry::get_socket()
{
    return socket.get();
}

void CSocketEntry::set_content(void*) {}
