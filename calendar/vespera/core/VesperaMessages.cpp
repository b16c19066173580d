// The agent's messages: each is read against the user's calendar as it is
// now and handed, by its command, type or objective, to the part that
// answers it; what a sender may ask depends on its proven name.

#include <vespera/core/Vespera.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentRequests.h>
#include <vespera/core/AttendeeSide.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/OrganiserSide.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/TrafficTrace.h>
#include <vespera/core/WebPage.h>

#include <eventview/WebBrowserUtil.h>

#include <lexikit/Parser.h>
#include <platform/MessageBoxSink.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/Communicator.h>

int CVespera::process_message(char* message)
{
    return process_parsed_message(*CParsedMessage::parse(message ? message : ""));
}

int CVespera::process_parsed_message(const CParsedMessage& message)
{
    if (m_trafficTrace)
        m_trafficTrace->TraceIncoming(message.text());
    // Every answer must reflect the user's calendar as it is now, edits in
    // other programs included.
    m_calendar->SyncWithOutsideChanges();
    const CParsedMessage::Ptr content = message.content_message();
    if (!content) {
        debug("No Content in message.");
        return 0;
    }
    const char* sender = message.sender();
    const std::string senderText = sender ? sender : "";

    const CKqmlFields reader(content);
    const bool proven = SenderProven(senderText);
    if (std::optional<std::string> command = reader.Raw("command")) {
        DispatchCommand(*command, reader, senderText, proven);
        return 1;
    }
    std::optional<std::string> type = reader.Raw("type");
    if (type)
        DispatchType(*type, reader, senderText, proven);
    if (std::optional<std::string> objective = reader.Raw("objective"))
        DispatchObjective(*objective, reader, senderText);
    else if (std::optional<std::string> dataurl = reader.Raw("dataurl"))
        DispatchDataUrl(*dataurl);
    else if (!type)
        debug("Bad DMS message. No type specified");
    return 1;
}

// Commands that write the calendar, send mail in the user's name or make
// the agent organise a meeting follow the meeting-scheduling policy, with
// the sending agent as the requester.
bool CVespera::SenderProven(const std::string& sender)
{
    CClientSocket* connection = get_current_connection();
    return !connection || m_settings->GetTrustUnauthenticatedContacts() ||
           connection->is_proven_for(sender.c_str());
}

bool CVespera::SenderMayActFor(const std::string& command, const std::string& sender, bool proven)
{
    const int policy = m_settings->GetMeetingSchedulingType();
    const bool contact = m_contacts->FindByAgentName(sender) != nullptr;
    if (policy == 1 && contact && !proven) {
        dprintf(
            "Refusing the %s command from %s: it did not prove its name, so it is no contact of the user's",
            command.c_str(), sender.c_str());
        return false;
    }
    const bool allowed = policy == 2 || (policy == 1 && contact);
    if (!allowed)
        dprintf(
            "Refusing the %s command from %s: the meeting-scheduling policy (%d) does not let it act for the "
            "user",
            command.c_str(), sender.c_str(), policy);
    return allowed;
}

void CVespera::DispatchCommand(const std::string& command, const CKqmlFields& content,
                               const std::string& sender, bool proven)
{
    const bool actsForUser =
        command == "appointment" || command == "conf_appt" || command == "schedule_meeting";
    if (actsForUser && !SenderMayActFor(command, sender, proven))
        return;
    if (command == "create_profile") {
        debug("Create_profile messages have been deprecated and are no longer used");
    } else if (command == "appointment") {
        m_requests->CreateRequestedAppointment(content, sender, std::nullopt);
    } else if (command == "schedule_meeting") {
        m_organiserSide->StartNegotiation(content);
    } else if (command == "request_appt") {
        m_requests->ProcessAppointmentRequest(content, sender);
    } else if (command == "conf_appt") {
        // Without an address there is nobody to confirm to.
        std::string email = content.Value("email");
        m_requests->CreateRequestedAppointment(
            content, sender, email.empty() ? std::nullopt : std::optional<std::string>(email));
    } else {
        debug("Unknown command in incoming message. Ignoring.");
    }
}

void CVespera::DispatchType(const std::string& type, const CKqmlFields& content, const std::string& sender,
                            bool proven)
{
    // A negotiation is between agents that know each other: who organises,
    // bids and is awarded decides what is written into the calendar.
    if (!proven && (type == "contract" || type == "award" || type == "confirm" || type == "bid")) {
        dprintf("Ignoring the %s from %s: it did not prove its name", type.c_str(), sender.c_str());
        return;
    }
    if (type == "contract")
        m_attendeeSide->ProcessContract(content, sender);
    else if (type == "award")
        m_attendeeSide->ProcessAward(content, sender);
    else if (type == "confirm")
        m_organiserSide->ProcessConfirmation(content, sender);
    else if (type == "bid")
        m_organiserSide->ProcessBid(content, sender);
    else
        debug("Unknown DMS message type. Ignoring.");
}

void CVespera::DispatchObjective(const std::string& objective, const CKqmlFields& content,
                                 const std::string& sender)
{
    if (objective == "browseScheduleURL" && m_settings->GetAutoInvokeSchedule())
        m_scheduleImport->Browse(content);
    else if (objective == "uploadScheduleURL" && m_settings->GetAutoLoadSchedule())
        m_scheduleImport->Upload(content, sender);
    else
        debug("Unknown objective message type. Ignoring.");
}

void CVespera::DispatchDataUrl(const std::string& dataurl)
{
    if (dataurl == "null") {
        CMessageBoxSink::Show("No reply was available.  Sorry...", MB_ICONINFORMATION);
        return;
    }
    OpenDataUrl(CKqmlFields::WithoutParentheses(dataurl));
}

void CVespera::OpenDataUrl(const std::string& address)
{
    if (!webpage::IsWebAddress(address)) {
        debug("Refusing to open %s: only http and https addresses are opened for other agents",
              address.c_str());
        return;
    }
    CWebBrowserUtil browser;
    int result = m_urlOpener ? m_urlOpener(address) : browser.GotoURL(address.c_str(), SW_SHOW);
    if (result > CWebBrowserUtil::OpenedThreshold)
        return;
    if (result == CWebBrowserUtil::NoBrowserCode && !m_urlOpener)
        debug("No web browser is available to open %s", address.c_str());
    CMessageBoxSink::Alert();
    browser.ReportError(result);
}

void CVespera::SetUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

// --- owned parts -----------------------------------------------------------------
