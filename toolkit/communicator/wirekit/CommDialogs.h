#pragma once

#include <wirekit/Communicator.h>

#include <string>
#include <vector>

// How the communicator shows its two dialogs: the name-server dialog (agent
// name and port, name-server host and port, a register action) and the
// communication-information dialog (the communicator's settings).
//
// A windowed program installs its own implementation with SetCommDialogs();
// until then a headless one is used that writes what it would show into the
// communicator's debug log. The actions the dialog's buttons perform are
// plain functions here, so a window only binds widgets to them and tests can
// drive them without one.
class CCommDialogs {
public:
    // What the name-server dialog shows.
    struct Fields {
        std::string name;
        int port = 0;
        std::string ans_host;
        int ans_port = 0;
    };

    // Texts the dialog's actions report in a message box.
    static constexpr const char* NO_ANS_CLIENT_TEXT = "Pointer to ANS module is NULL";
    static constexpr const char* UNREGISTER_DISABLED_TEXT = "This method is temporarily disabled";
    static constexpr const char* CHOOSE_PORT_DISABLED_TEXT =
        "This method is temporarily disabled\n to allow testing of dynamic port assignment";

    virtual ~CCommDialogs();

    // Both run to completion before returning (a window runs them modally).
    virtual void ShowNameServerDialog(CCommunicator& communicator) = 0;
    virtual void ShowCommunicationInfo(CCommunicator& communicator) = 0;

    // The communicator's current settings; missing beliefs read as empty
    // text and 0.
    static Fields ReadFields(CCommunicator& communicator);

    // The host choices of the name-server dialog, first entry preselected:
    // the "ans" belief when it names a host, then "localhost" (always last).
    static std::vector<std::string> NameServerHosts(CCommunicator& communicator);

    // Whether the dialog opens with its fields read-only and the register
    // controls disabled: the agent is registered with the name server.
    static bool IsRegistrationLocked(CCommunicator& communicator);

    // The register action: stores the agent's name and port (comm_setinfo)
    // and the server's host and port (comm_setansinfo), then enables the
    // name-server client, which registers the agent. Without a client it
    // shows NO_ANS_CLIENT_TEXT in a message box, changes nothing and gives
    // 0. Otherwise the result of enabling the client (1 when registered).
    static int Register(CCommunicator& communicator, const Fields& fields);

    // The unregister and choose-port actions only report that they are
    // disabled, in a message box.
    static void Unregister();
    static void ChoosePort();

    // The hooks a program gives its communicator so that the dialogs in
    // use (GetCommDialogs) open and notices show in a message box.
    static CCommunicator::UserHooks StandardHooks();
};

// The dialogs in use: the one installed last, or the headless default. The
// installed object is borrowed; installing null restores the default.
// SetCommDialogs returns the previous installation (null for the default).
CCommDialogs* SetCommDialogs(CCommDialogs* dialogs);
CCommDialogs& GetCommDialogs();
