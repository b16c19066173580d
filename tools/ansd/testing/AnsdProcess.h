#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

// A real name server started as a child process, for tests of anything that
// talks to one. Its standard error goes to a file in the given directory; the
// port it listens on is read from its first line of standard output, so it
// can be started with "--port 0".
class CAnsdProcess {
public:
    // Guards every wait on the child, so that a broken server fails a test
    // instead of hanging it.
    static constexpr int kWaitMs = 20000;

    explicit CAnsdProcess(std::string dir);
    ~CAnsdProcess();

    CAnsdProcess(const CAnsdProcess&) = delete;
    CAnsdProcess& operator=(const CAnsdProcess&) = delete;

    // Starts the server with `args` and waits for the line that gives its
    // port; false when it ended or failed without printing one.
    bool Start(std::vector<std::string> args = {"--port", "0", "--bind", "127.0.0.1"});

    // Sends `signal` (0: none, just wait) and returns the exit status, -1 when
    // the child did not exit normally or was not running.
    int Stop(int signal = SIGTERM);

    // What the server wrote to standard error so far.
    std::string Errors() const;

    unsigned port = 0;
    std::string firstLine;

private:
    std::string ReadLine();

    std::string dir;
    pid_t pid = -1;
    int out = -1;
};
