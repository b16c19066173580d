// agent-tell: sends one KQML "tell" to an agent and prints what comes back.

#include "AgentTell.h"
#include "TellOptions.h"

#include <agentkit/DlgContainer.h>
#include <platform/PollEventLoop.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

void print_line(FILE* stream, const std::string& line)
{
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv)
{
    CTellOptions options;
    if (!options.parse(argc, argv)) {
        std::fprintf(stderr, "agent-tell: %s\n%s", options.get_error().c_str(), CTellOptions::usage());
        return 2;
    }
    if (options.help) {
        std::fputs(CTellOptions::usage(), stdout);
        return 0;
    }
    if (!CAgentTell::content_parses(options.content)) {
        std::fprintf(stderr,
                     "agent-tell: the content is not a KQML expression the receiver could read; nothing "
                     "was sent: %s\n",
                     options.content.c_str());
        return 2;
    }
    CPollEventLoop loop;
    auto owned = std::make_unique<CAgentTell>(
        options, [](const std::string& line) { print_line(stdout, line); },
        [](const std::string& line) { print_line(stderr, line); });
    CAgentTell* agent = owned.get();
    CDlgContainer dialog(std::move(owned));
    // An interrupted wait still takes the agent down in order, so that it
    // leaves the name server.
    loop.HandleSignals({SIGINT, SIGTERM}, [&dialog](int) { dialog.EndDialog(0); });
    return agent->run(dialog);
}
