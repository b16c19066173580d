#include <basekit/CommandLine.h>

#include <basekit/Parameter.h>

CCommandLine::CCommandLine() : CLList("command_line") {}

CCommandLine::~CCommandLine() = default;

void CCommandLine::parse_commandline(int count, char** vector)
{
    delete_list();
    argc = count;
    argv = vector;
    if (count <= 0 || !vector)
        return;
    for (int i = 0; i < count; ++i) {
        const char* arg = vector[i];
        if (!arg || arg[0] != '-')
            continue;
        const char* value = (i + 1 < count) ? vector[i + 1] : nullptr;
        add_option(arg + 1, value);
    }
}

void CCommandLine::add_option(const char* option, const char* value)
{
    auto* parameter = new CParameter(option);
    if (value) {
        parameter->set_content(const_cast<char*>(value));
    }
    if (!add_element(parameter))
        delete parameter;
}

char* CCommandLine::find_token(const char* key)
{
    if (!key)
        return nullptr;
    if (key[0] == '-')
        ++key;
    CListElement* element = find_element(key);
    // Only parameters hold text; anything else added to the list by hand
    // has a content of unknown kind.
    if (!element || element->get_btype() != BTYPE_PARAMETER)
        return nullptr;
    return static_cast<char*>(element->get_content());
}

int CCommandLine::get_argc()
{
    return argc;
}

char** CCommandLine::get_argv()
{
    return argv;
}
