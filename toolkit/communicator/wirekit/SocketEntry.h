#pragma once

#include <basekit/ListElement.h>

#include <memory>

class CClientSocket;

// An element of the server's connection list that owns its connection: the
// content is the socket, and destroying the element destroys the socket, so
// a list that deletes its elements never leaks or strands a connection.
class CSocketEntry : public CListElement {
public:
    explicit CSocketEntry(std::unique_ptr<CClientSocket> socket);
    ~CSocketEntry() override;

    CClientSocket* get_socket();
    // The content stays the owned socket: another pointer would either leak
    // it or leave the list pointing at something it does not own.
    void set_content(void* content) override;

private:
    std::unique_ptr<CClientSocket> socket;
};
