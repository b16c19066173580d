#pragma once

#include <basekit/ListElement.h>

class CClientSocket;

// Answers HTTP requests that reach an agent's message port. The agents of
// this toolkit speak KQML, so the answer is a plain "not implemented"
// response, after which the connection is closed: a browser or probe that
// hits the port gets a definite reply instead of a connection left hanging.
// Agents that serve HTTP derive from it and override handle_request.
class CHTTPDriver : public CListElement {
public:
    CHTTPDriver();
    ~CHTTPDriver() override;

    // Handles the oldest queued message of `socket` as an HTTP request. 1
    // when an answer was sent; 0 for a null or broken socket or when there
    // is no request (the socket is left as it was) or the answer could not
    // be sent.
    virtual int handle_request(CClientSocket* socket);

    // The response handle_request sends.
    static const char* not_implemented_response();
};
