#pragma once

#include <string>

// Who watches the agent's traffic (the debug window): every message that
// arrives, before it is read, and every message the agent sends to another
// agent.
class CTrafficTrace {
public:
    virtual ~CTrafficTrace() = default;

    virtual void TraceIncoming(const std::string& text) = 0;
    virtual void TraceOutgoing(const std::string& performative, const std::string& receiver,
                               const std::string& content) = 0;
};
