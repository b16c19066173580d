#pragma once

// The messages of an mbox outbox as the process tests read them: each
// message from its "From " separator line, its header lines up to the blank
// line, then its body without the blank line that ends it in the file.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vesperaprocess {

struct SOutboxMessage {
    std::vector<std::string> headers;
    // The body lines joined with "\n".
    std::string body;

    // The value of the first header `name` ("Subject"), empty without one.
    std::string Header(const std::string& name) const
    {
        const std::string prefix = name + ": ";
        for (const std::string& line : headers) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line.substr(prefix.size());
        }
        return std::string();
    }
};

class COutbox {
public:
    // The messages in the file; none when it does not exist.
    static std::vector<SOutboxMessage> Read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return Parse(text.str());
    }

    // Body lines that began with "From " were quoted when written, so a
    // line beginning with it always starts a message.
    static std::vector<SOutboxMessage> Parse(const std::string& text)
    {
        std::vector<SOutboxMessage> messages;
        std::vector<std::vector<std::string>> bodies;
        bool inHeaders = false;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (line.compare(0, 5, "From ") == 0) {
                messages.emplace_back();
                bodies.emplace_back();
                inHeaders = true;
            } else if (messages.empty())
                continue;
            else if (inHeaders && line.empty())
                inHeaders = false;
            else if (inHeaders)
                messages.back().headers.push_back(line);
            else
                bodies.back().push_back(line);
        }
        for (std::size_t i = 0; i < messages.size(); ++i)
            messages[i].body = JoinBody(bodies[i]);
        return messages;
    }

private:
    static std::string JoinBody(std::vector<std::string> lines)
    {
        if (!lines.empty() && lines.back().empty())
            lines.pop_back();
        std::string body;
        for (std::size_t i = 0; i < lines.size(); ++i)
            body += (i ? "\n" : "") + lines[i];
        return body;
    }
};

} // namespace vesperaprocess
