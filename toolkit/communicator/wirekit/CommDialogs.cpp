#include <wirekit/CommDialogs.h>

#include <wirekit/Communicator.h>

#include <namekit/ANSClient.h>
#include <platform/MessageBoxSink.h>

#include <cstring>

namespace {

const char* const kUnknownHost = "-unknown-";
const char* const kLocalHost = "localhost";

// Without a window nobody can answer a dialog, so the headless dialogs only
// leave in the log what they would have shown.
class CHeadlessCommDialogs : public CCommDialogs {
public:
    void ShowNameServerDialog(CCommunicator& communicator) override
    {
        Fields fields = ReadFields(communicator);
        communicator.dprintf("<CCommDialogs> Name server dialog: agent [%s] port [%d], name "
                             "server [%s] port [%d]",
                             fields.name.c_str(), fields.port, fields.ans_host.c_str(), fields.ans_port);
        communicator.dprintf("<CCommDialogs> No window to ask in: give the name server with "
                             "-ans HOST and -ansport N");
    }

    void ShowCommunicationInfo(CCommunicator& communicator) override
    {
        Fields fields = ReadFields(communicator);
        const char* address = communicator.comm_get_ip();
        communicator.dprintf("<CCommDialogs> Communication information: agent [%s] at [%s] "
                             "port [%d], name server [%s] port [%d], version [%s]",
                             fields.name.c_str(), address ? address : "", fields.port,
                             fields.ans_host.c_str(), fields.ans_port, communicator.getversion());
    }
};

CHeadlessCommDialogs& headless_dialogs()
{
    static CHeadlessCommDialogs dialogs;
    return dialogs;
}

CCommDialogs* installed_dialogs = nullptr;

} // namespace

CCommDialogs::~CCommDialogs() = default;

CCommDialogs::Fields CCommDialogs::ReadFields(CCommunicator& communicator)
{
    Fields fields;
    const char* name = communicator.get_name();
    const char* host = communicator.get_ansname();
    fields.name = name ? name : "";
    fields.port = communicator.get_port();
    fields.ans_host = host ? host : "";
    fields.ans_port = communicator.get_ansport();
    return fields;
}

std::vector<std::string> CCommDialogs::NameServerHosts(CCommunicator& communicator)
{
    std::vector<std::string> hosts;
    const char* host = communicator.get_ansname();
    if (host && *host && std::strcmp(host, kUnknownHost) != 0 && std::strcmp(host, kLocalHost) != 0)
        hosts.emplace_back(host);
    hosts.emplace_back(kLocalHost);
    return hosts;
}

bool CCommDialogs::IsRegistrationLocked(CCommunicator& communicator)
{
    return communicator.is_registered() != 0;
}

// The communicator's registered flag follows the outcome, so that the dialog
// opens locked next time and the listing operations work.
int CCommDialogs::Register(CCommunicator& communicator, const Fields& fields)
{
    CANSClient* ans = communicator.retrieve_ans_object();
    if (!ans) {
        CMessageBoxSink::Show(NO_ANS_CLIENT_TEXT, MB_OK | MB_ICONERROR);
        return 0;
    }
    communicator.comm_setinfo(fields.name.c_str(), fields.port);
    communicator.comm_setansinfo(fields.ans_host.c_str(), fields.ans_port);
    int result = ans->enable(1);
    if (result == 1)
        communicator.set_registered(1);
    return result;
}

void CCommDialogs::Unregister()
{
    CMessageBoxSink::Show(UNREGISTER_DISABLED_TEXT, MB_OK | MB_ICONINFORMATION);
}

void CCommDialogs::ChoosePort()
{
    CMessageBoxSink::Show(CHOOSE_PORT_DISABLED_TEXT, MB_OK | MB_ICONINFORMATION);
}

CCommunicator::UserHooks CCommDialogs::StandardHooks()
{
    CCommunicator::UserHooks hooks;
    hooks.name_server_dialog = [](CCommunicator& communicator) {
        GetCommDialogs().ShowNameServerDialog(communicator);
    };
    hooks.information_dialog = [](CCommunicator& communicator) {
        GetCommDialogs().ShowCommunicationInfo(communicator);
    };
    hooks.notice = [](const char* text) { CMessageBoxSink::Show(text); };
    return hooks;
}

CCommDialogs* SetCommDialogs(CCommDialogs* dialogs)
{
    CCommDialogs* previous = installed_dialogs;
    installed_dialogs = dialogs;
    return previous;
}

CCommDialogs& GetCommDialogs()
{
    if (installed_dialogs)
        return *installed_dialogs;
    return headless_dialogs();
}
