#include <wirekit/LogFacility.h>

#include <wirekit/Communicator.h>

#include <factkit/BeliefDB.h>
#include <lexikit/ParsedMessage.h>
#include <factkit/StringBelief.h>

#include <algorithm>
#include <cstdarg>

CLogFacility::CLogFacility(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator, unsigned value)
    : CListElement(name), beliefdb(beliefdb), communicator(communicator), value(value)
{
}

CLogFacility::~CLogFacility()
{
    const char* name = get_name();
    if (name)
        dprintf("<CLogFacility> Destroying module [%s]", name);
    else
        dprintf("<CLogFacility> Destroying module [UNKNOWN]");
    detach_followers();
    set_logger(nullptr);
}

int CLogFacility::init()
{
    return 1;
}

int CLogFacility::change_state(unsigned)
{
    return 1;
}

void CLogFacility::parse_args(int, char**) {}

void CLogFacility::process_message(const char*, int) {}

void CLogFacility::process_parsed_message(const CParsedMessage& message, int direction)
{
    process_message(message.text().c_str(), direction);
}

void CLogFacility::process_timer() {}

void CLogFacility::set_display(const char* text)
{
    if (text)
        display = text;
    else
        display.reset();
}

char* CLogFacility::get_display()
{
    if (display) {
        display_text = *display;
    } else {
        const char* name = communicator ? communicator->get_name() : nullptr;
        display_text = name ? name : "Agent";
    }
    return display_text.data();
}

void CLogFacility::set_logger(CLogFacility* new_logger)
{
    if (new_logger == this)
        new_logger = nullptr;
    if (new_logger == logger)
        return;
    if (logger)
        logger->detach(this);
    logger = new_logger;
    if (logger)
        logger->attach(this);
}

CLogFacility* CLogFacility::get_logger()
{
    return logger;
}

void CLogFacility::set_dependancy(unsigned number)
{
    dependancy = number;
}

unsigned CLogFacility::get_dependancy()
{
    return dependancy;
}

void CLogFacility::log_message(const char* text)
{
    if (text)
        dprintf("%s", text);
}

void CLogFacility::set_registered(int flag)
{
    registered = flag;
}

int CLogFacility::is_registered()
{
    return registered;
}

void CLogFacility::set_type(unsigned kind)
{
    type = kind;
}

unsigned CLogFacility::get_type()
{
    return type;
}

CBeliefDB* CLogFacility::get_beliefdb()
{
    return beliefdb;
}

CCommunicator* CLogFacility::get_communicator()
{
    return communicator;
}

unsigned CLogFacility::get_value()
{
    return value;
}

void CLogFacility::dprintf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    write_line(fmt, args);
    va_end(args);
}

const char* CLogFacility::agent_name()
{
    if (!beliefdb)
        return nullptr;
    CStringBelief* name = beliefdb->find_string_belief("name");
    return name ? name->get_value() : nullptr;
}

// The logger's own file is written directly (not through its dprintf), so two
// modules that name each other as logger cannot bounce a line back and forth.
void CLogFacility::write_line(const char* fmt, va_list args)
{
    if (logger)
        logger->vdebug(fmt, args);
    else
        vdebug(fmt, args);
}

void CLogFacility::attach(CLogFacility* follower)
{
    followers.push_back(follower);
}

void CLogFacility::detach(CLogFacility* follower)
{
    followers.erase(std::remove(followers.begin(), followers.end(), follower), followers.end());
}

void CLogFacility::detach_followers()
{
    for (CLogFacility* follower : followers)
        follower->logger = nullptr;
    followers.clear();
}
