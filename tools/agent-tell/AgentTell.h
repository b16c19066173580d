#pragma once

#include "TellOptions.h"

#include <agentkit/AgentContainer.h>

#include <functional>
#include <string>
#include <vector>

class CDlgContainer;

// The one-shot agent behind agent-tell: it starts as a container, sends one
// "tell" to the receiver and hands on every message that comes back on the
// connection it sent on, until the wait ends or enough replies came.
//
// It registers with the name server like any agent (so that it can be
// answered by name) and unregisters on the way out; with --at and no name
// server given it uses none. It leaves no belief dump behind and does not pause at
// shutdown, since its single send has been handed to the network by then.
class CAgentTell : public CAgentContainer {
public:
    using LineWriter = std::function<void(const std::string& line)>;

    // Exit codes of run().
    static constexpr int EXIT_SENT = 0;
    static constexpr int EXIT_NOT_SENT = 1;
    // Sent, but nothing came back within the wait.
    static constexpr int EXIT_NO_REPLY = 3;

    // `out` receives each reply, `err` each error line.
    CAgentTell(const CTellOptions& options, LineWriter out, LineWriter err);

    // Creates the container in `dialog` (which must hold this agent), sends
    // the message and collects replies. EXIT_SENT when the message went
    // out (and, with a wait, something came back), else EXIT_NOT_SENT or
    // EXIT_NO_REPLY after an error line.
    int run(CDlgContainer& dialog);

    int process_message(char* text) override;
    void process_environment_change() override;

    // Whether `content` reads as one KQML expression, as the receiver will
    // read it.
    static bool content_parses(const std::string& content);

    int get_replies() const;

private:
    bool start(CDlgContainer& dialog);
    bool use_keys();
    void add_receiver_address();
    bool discover_receiver(CDlgContainer& dialog);
    bool receiver_located();
    bool send();
    bool await_delivery(CDlgContainer& dialog);
    int not_delivered();
    void collect(CDlgContainer& dialog);

    CTellOptions options;
    std::vector<std::string> arguments;
    std::vector<char*> argument_pointers;
    LineWriter out;
    LineWriter err;
    int descriptor = -1;
    int replies = 0;
    CDlgContainer* window = nullptr;
    bool discovering = false;
    bool undelivered = false;
    bool went_out = false;
};
