#pragma once

#include <basekit/LList.h>

// An agent's command-line options: one CParameter per "-option", named
// without the '-', whose content is the argument after it.
class CCommandLine : public CLList {
public:
    // The list is named "command_line".
    CCommandLine();
    ~CCommandLine() override;

    // Empties the list, remembers argc/argv (borrowed, not copied), and for
    // every argument beginning with '-' appends a parameter whose content is
    // a copy of the following argument (none after the last one). Arguments
    // without a leading '-' only serve as values. A negative count or null
    // vector gives an empty list; null entries in the vector are skipped.
    void parse_commandline(int argc, char** argv);

    // The content of the first option named `key` (one leading '-' of the key
    // is ignored), or null when there is none or it has no value. The text is
    // owned by the option.
    char* find_token(const char* key);

    int get_argc();
    char** get_argv();

private:
    void add_option(const char* option, const char* value);

    int argc = 0;
    char** argv = nullptr;
};
