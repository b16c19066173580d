#include "AnsdProcess.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CAnsdProcess::CAnsdProcess(std::string dir) : dir(std::move(dir)) {}

CAnsdProcess::~CAnsdProcess()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0)
        ::close(out);
}

bool CAnsdProcess::Start(std::vector<std::string> args)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const std::string errPath = dir + "/stderr.txt";
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    args.insert(args.begin(), ANSD_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid, ANSD_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (out >= 0)
        ::close(out);
    out = pipeFds[0];
    if (spawned != 0) {
        pid = -1;
        return false;
    }
    firstLine = ReadLine();
    const std::string prefix = "ansd listening on ";
    const std::size_t colon = firstLine.rfind(':');
    if (firstLine.compare(0, prefix.size(), prefix) != 0 || colon == std::string::npos)
        return false;
    port = static_cast<unsigned>(std::strtoul(firstLine.c_str() + colon + 1, nullptr, 10));
    return port != 0;
}

int CAnsdProcess::Stop(int signal)
{
    if (pid <= 0)
        return -1;
    if (signal != 0)
        ::kill(pid, signal);
    int status = 0;
    const pid_t waited = ::waitpid(pid, &status, 0);
    pid = -1;
    if (waited < 0 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string CAnsdProcess::Errors() const
{
    std::ifstream in(dir + "/stderr.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string CAnsdProcess::ReadLine()
{
    std::string line;
    char c;
    while (line.size() < 200) {
        pollfd item{out, POLLIN, 0};
        if (::poll(&item, 1, kWaitMs) <= 0 || ::read(out, &c, 1) != 1 || c == '\n')
            break;
        line += c;
    }
    return line;
}
