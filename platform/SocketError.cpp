#include <platform/SocketError.h>

#include <cerrno>
#include <netdb.h>

namespace {

struct ErrnoPair {
    int errnum;
    int code;
};

// EAGAIN and EWOULDBLOCK are the same value on Linux, so only one is listed.
// EBADF becomes WSAENOTSOCK: Windows reports an invalid socket handle that way.
// EPIPE is the local end being shut down for sending.
constexpr ErrnoPair kErrnoTable[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAENOTSOCK},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEINPROGRESS},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {EPIPE, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

struct CodeName {
    int code;
    const char* name;
};

// Exactly the codes the toolkit's logs spell out; every other code is logged
// as unknown.
constexpr CodeName kNameTable[] = {
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK"},
    {WSAEINPROGRESS, "WSAEINPROGRESS"},
    {WSAEALREADY, "WSAEALREADY"},
    {WSAENOTSOCK, "WSAENOTSOCK"},
    {WSAEDESTADDRREQ, "WSAEDESTADDRREQ"},
    {WSAEMSGSIZE, "WSAEMSGSIZE"},
    {WSAEPROTOTYPE, "WSAEPROTOTYPE"},
    {WSAENOPROTOOPT, "WSAENOPROTOOPT"},
    {WSAEPROTONOSUPPORT, "WSAEPROTONOSUPPORT"},
    {WSAESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT"},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP"},
    {WSAEPFNOSUPPORT, "WSAEPFNOSUPPORT"},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT"},
    {WSAEADDRINUSE, "WSAEADDRINUSE"},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
    {WSAENETDOWN, "WSAENETDOWN"},
    {WSAENETUNREACH, "WSAENETUNREACH"},
    {WSAENETRESET, "WSAENETRESET"},
    {WSAECONNABORTED, "WSAECONNABORTED"},
    {WSAECONNRESET, "WSAECONNRESET"},
    {WSAENOBUFS, "WSAENOBUFS"},
    {WSAEISCONN, "WSAEISCONN"},
    {WSAENOTCONN, "WSAENOTCONN"},
    {WSAESHUTDOWN, "WSAESHUTDOWN"},
    {WSAETOOMANYREFS, "WSAETOOMANYREFS"},
    {WSAETIMEDOUT, "WSAETIMEDOUT"},
    {WSAECONNREFUSED, "WSAECONNREFUSED"},
    {WSAELOOP, "WSAELOOP"},
    {WSAENAMETOOLONG, "WSAENAMETOOLONG"},
    {WSAEHOSTDOWN, "WSAEHOSTDOWN"},
    {WSAEHOSTUNREACH, "WSAEHOSTUNREACH"},
    {WSAENOTEMPTY, "WSAENOTEMPTY"},
    {WSAEPROCLIM, "WSAEPROCLIM"},
    {WSAEUSERS, "WSAEUSERS"},
    {WSAEDQUOT, "WSAEDQUOT"},
    {WSAESTALE, "WSAESTALE"},
    {WSAEREMOTE, "WSAEREMOTE"},
    {WSASYSNOTREADY, "WSASYSNOTREADY"},
    {WSAVERNOTSUPPORTED, "WSAVERNOTSUPPORTED"},
    {WSANOTINITIALISED, "WSANOTINITIALISED"},
    {WSAEDISCON, "WSAEDISCON"},
};

} // namespace

int WsaErrorFromErrno(int errnum)
{
    if (errnum == 0)
        return 0;
    for (const ErrnoPair& pair : kErrnoTable) {
        if (pair.errnum == errnum)
            return pair.code;
    }
    return WSABASEERR;
}

int WsaErrorFromResolver(int gai_error)
{
    switch (gai_error) {
    case 0:
        return 0;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_NODATA:
        return WSANO_DATA;
    case EAI_FAMILY:
        return WSAEAFNOSUPPORT;
    default:
        return WSAHOST_NOT_FOUND;
    }
}

const char* WsaErrorName(int code)
{
    for (const CodeName& entry : kNameTable) {
        if (entry.code == code)
            return entry.name;
    }
    return "UNKNOWN";
}

namespace {

struct ErrorText {
    int code;
    const char* text;
};

// Connection refused, timed out, unreachable and unknown hosts are what a
// send to another agent meets most often, so they are explained as well.
constexpr ErrorText kErrorTexts[] = {
    {WSAEACCES, "WSAEACCES: Permission denied: the address is a broadcast address or access "
                "to it was refused"},
    {WSAEFAULT, "WSAEFAULT: Bad address: an argument does not point into valid memory"},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK: Resource temporarily unavailable: the operation would "
                     "block"},
    {WSAEINPROGRESS, "WSAEINPROGRESS: Operation now in progress: a blocking operation is "
                     "still running"},
    {WSAENOTSOCK, "WSAENOTSOCK: Socket operation on nonsocket: the descriptor is not a socket"},
    {WSAEDESTADDRREQ, "WSAEDESTADDRREQ: Destination address required"},
    {WSAEMSGSIZE, "WSAEMSGSIZE: Message too long for the socket's buffer"},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP: Operation not supported on this socket"},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT: Address family not supported by protocol family"},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL: Cannot assign requested address: the address is not "
                       "valid on this machine"},
    {WSAENETDOWN, "WSAENETDOWN: Network is down"},
    {WSAENETUNREACH, "WSAENETUNREACH: Network is unreachable from this host"},
    {WSAENETRESET, "WSAENETRESET: Network dropped connection on reset"},
    {WSAECONNABORTED, "WSAECONNABORTED: Software caused connection abort"},
    {WSAECONNRESET, "WSAECONNRESET: Connection reset by peer"},
    {WSAENOBUFS, "WSAENOBUFS: No buffer space available"},
    {WSAENOTCONN, "WSAENOTCONN: Socket is not connected"},
    {WSAESHUTDOWN, "WSAESHUTDOWN: Cannot send after socket shutdown"},
    {WSANOTINITIALISED, "WSANOTINITIALISED: Windows Sockets has not been initialised"},
    {WSAETIMEDOUT, "WSAETIMEDOUT: Connection timed out: the peer did not answer in time"},
    {WSAECONNREFUSED, "WSAECONNREFUSED: Connection refused: nothing listens at the agent's "
                      "address"},
    {WSAEHOSTUNREACH, "WSAEHOSTUNREACH: No route to host"},
    {WSAHOST_NOT_FOUND, "WSAHOST_NOT_FOUND: Host not found: the agent's host name does not "
                        "resolve"},
};

} // namespace

const char* WsaErrorExplanation(int code)
{
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}
