#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A stand-in name server for tests. It runs in a forked child, so that the
// client under test may block on it, and serves its scripted connections one
// after another on 127.0.0.1, reporting every request it read.
class FakeAnsServer {
public:
    enum class Action {
        Reply,             // send the pieces in order, then close
        Silent,            // read the request, never answer, wait for the client to go
        CloseAfterRequest, // read the request, then close without a word
    };
    struct Step {
        Action action;
        // Each piece goes out once the client has read the one before, so
        // the client sees the reply arrive in parts.
        std::vector<std::string> pieces;
    };

    // A reply with the end marker a name server puts after every reply.
    static Step reply(const std::string& text);
    // Pieces sent exactly as given.
    static Step raw(std::vector<std::string> pieces);
    static Step silent();
    static Step close_after_request();

    explicit FakeAnsServer(std::vector<Step> steps);
    ~FakeAnsServer();

    FakeAnsServer(const FakeAnsServer&) = delete;
    FakeAnsServer& operator=(const FakeAnsServer&) = delete;

    unsigned port() const;
    // Waits until the server has served every step (a connection that does
    // not come within a few seconds ends it) and returns the requests it
    // read, one per connection, in order.
    std::vector<std::string> requests();

private:
    void serve(int listener, const std::vector<Step>& steps);
    void stop();

    unsigned listen_port = 0;
    pid_t child = -1;
    int report_fd = -1;
};
