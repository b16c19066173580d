#include <wirekit/SocketBase.h>

#include <basekit/Debug.h>

#include <cstdarg>

CSocketBase::CSocketBase(CWnd* handler_window)
    : CAsyncSocket(handler_window ? handler_window->GetEventLoop() : nullptr), handler(handler_window)
{
}

CSocketBase::~CSocketBase() = default;

void CSocketBase::set_logger(CDebug* log)
{
    logger = log;
}

CDebug* CSocketBase::get_logger()
{
    return logger;
}

void CSocketBase::set_descriptor(int value)
{
    descriptor = value;
}

int CSocketBase::get_descriptor()
{
    return descriptor;
}

void CSocketBase::set_sockettype(int type)
{
    socket_type = type;
}

int CSocketBase::get_sockettype()
{
    return socket_type;
}

void CSocketBase::set_agentname(const char* name)
{
    if (dirty || !name)
        return;
    agent_name = name;
}

char* CSocketBase::get_agentname()
{
    return agent_name.data();
}

void CSocketBase::set_dirty(int value)
{
    dirty = value != 0;
    if (dirty)
        Close();
}

int CSocketBase::get_dirty()
{
    return dirty ? 1 : 0;
}

int CSocketBase::get_len()
{
    return len;
}

void CSocketBase::set_len(int length)
{
    len = length;
}

void CSocketBase::set_handler(CWnd* handler_window)
{
    handler = handler_window;
}

CWnd* CSocketBase::get_handler()
{
    return handler;
}

void CSocketBase::set_next(CSocketBase* socket)
{
    next = socket;
}

CSocketBase* CSocketBase::get_next()
{
    return next;
}

void CSocketBase::debug(const char* text)
{
    if (dirty || !logger || !text)
        return;
    logger->debug(text);
}

void CSocketBase::dprintf(const char* fmt, ...)
{
    if (dirty || !logger)
        return;
    va_list args;
    va_start(args, fmt);
    logger->vdebug(fmt, args);
    va_end(args);
}

int CSocketBase::signal()
{
    if (!handler)
        return 0;
    const bool posted = handler->PostMessage(notify_message, static_cast<uintptr_t>(socket_type),
                                             static_cast<intptr_t>(descriptor));
    return posted ? 1 : 0;
}
