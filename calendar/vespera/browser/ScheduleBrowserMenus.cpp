// The schedule browser's context menus and the commands behind them.

#include <vespera/browser/ScheduleBrowserDlg.h>

#include <vespera/core/CalendarBridge.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/Vespera.h>

#include <eventmodel/RDFVCalendar.h>
#include <eventview/TitleMenu.h>
#include <eventview/WebBrowserUtil.h>

#include <outlook/Application.h>
#include <outlook/MailItem.h>

#include <platform/MessageBoxSink.h>

#include <QContextMenuEvent>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int ObjectRole = Qt::UserRole + 1;

template <class Object>
Object* ObjectOf(QTreeWidgetItem* item)
{
    return static_cast<Object*>(item->data(0, ObjectRole).value<void*>());
}

// A titled pop-up of the entries, when there are enough of them.
void ShowMenu(QWidget* parent, const QString& title,
              const std::vector<CScheduleBrowserDlg::MenuEntry>& entries, const QPoint& at)
{
    if (!CScheduleBrowserDlg::IsMenuShown(entries.size()))
        return;
    CTitleMenu menu(parent);
    for (const CScheduleBrowserDlg::MenuEntry& entry : entries)
        QObject::connect(menu.addAction(entry.text), &QAction::triggered, parent, entry.command);
    menu.AddMenuTitle(title);
    menu.exec(at);
}

std::string Join(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts) {
        if (!part.empty())
            text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

// Each address of an e-mail text made into a calendar agent name.
std::string AgentNamesFromEmail(const std::string& email)
{
    std::string names;
    for (char c : email) {
        if (c == '@')
            names += '_';
        else if (c == ',')
            names += "-CalendarAgent,";
        else
            names += c;
    }
    return names + "-CalendarAgent";
}

} // namespace

std::string CScheduleBrowserDlg::AgentNamesOf(const std::vector<CRDFPerson>& people)
{
    std::vector<std::string> names;
    for (const CRDFPerson& person : people) {
        // A person with neither name nor address has no agent to ask.
        if (person.hasVesperaName())
            names.push_back(person.getVesperaName());
        else if (person.hasEmail())
            names.push_back(AgentNamesFromEmail(person.getEmail()));
    }
    return Join(names, ", ");
}

void CScheduleBrowserDlg::contextMenuEvent(QContextMenuEvent* event)
{
    for (QTreeWidget* tree : {m_schedules, m_events}) {
        const QPoint local = tree->viewport()->mapFrom(this, event->pos());
        QTreeWidgetItem* item = tree->viewport()->rect().contains(local) ? tree->itemAt(local) : nullptr;
        if (!item)
            continue;
        tree->setCurrentItem(item);
        ShowMenu(this, item->text(0),
                 tree == m_schedules ? CalendarMenuEntries(item) : EventTreeMenuEntries(item),
                 event->globalPos());
        return;
    }
}

// The title is the menu's first line and counts as one: a calendar without
// a source has four lines, and a person's two commands make a menu.
bool CScheduleBrowserDlg::IsMenuShown(std::size_t entries)
{
    return entries + 1 >= MinimumMenuLines;
}

std::vector<CScheduleBrowserDlg::MenuEntry> CScheduleBrowserDlg::CalendarMenuEntries(QTreeWidgetItem* item)
{
    CRDFVCalendar* calendar = ObjectOf<CRDFVCalendar>(item);
    std::vector<MenuEntry> entries{{"View RDF Source", [this, calendar] { OpenPage(calendar->getURL()); }}};
    if (calendar->hasSource())
        entries.push_back({"View WWW Homepage", [this, calendar] { OpenPage(calendar->getSource()); }});
    entries.push_back({"View Dublin Core Summary", [calendar] {
                           CMessageBoxSink::Show(calendar->getSummary(false, "\r\n"),
                                                 MB_OK | MB_ICONINFORMATION);
                       }});
    const auto toggle = [item, calendar](EVENT_UPDATE_STATUS status) {
        calendar->setUpdateStatus(status);
        ShowStatus(item, status);
    };
    if (calendar->getUpdateStatus() == EVENT_NOT_SELECTED)
        entries.push_back({"Check Import-schedule checkbox", [toggle] { toggle(EVENT_SELECTED); }});
    if (calendar->getUpdateStatus() == EVENT_SELECTED)
        entries.push_back({"Uncheck Import-schedule checkbox", [toggle] { toggle(EVENT_NOT_SELECTED); }});
    return entries;
}

std::vector<CScheduleBrowserDlg::MenuEntry> CScheduleBrowserDlg::EventTreeMenuEntries(QTreeWidgetItem* item)
{
    std::vector<MenuEntry> entries;
    switch (item->data(0, KindRole).toInt()) {
    case EventItem: {
        CRDFVevent* event = ObjectOf<CRDFVevent>(item);
        if (!event->getAttendeeListPtr().empty()) {
            entries.push_back({"Email Attendees", [this, event] {
                                   std::vector<std::string> addresses;
                                   for (const CRDFPerson& person : event->getAttendeeListPtr())
                                       addresses.push_back(person.getEmail());
                                   MailTo(Join(addresses, ", "));
                               }});
            entries.push_back({"Request Meeting with Attendees",
                               [this, event] { RequestMeeting(AgentNamesOf(event->getAttendeeListPtr())); }});
        }
        if (event->hasSeeAlso())
            entries.push_back({"see Also (URL)...", [this, event] { OpenPage(event->getSeeAlso()); }});
        const auto toggle = [item, event](EVENT_UPDATE_STATUS status) {
            event->setUpdateStatus(status);
            ShowStatus(item, status);
        };
        if (event->getUpdateStatus() == EVENT_NOT_SELECTED)
            entries.push_back({"Check Import-event checkbox", [toggle] { toggle(EVENT_SELECTED); }});
        if (event->getUpdateStatus() == EVENT_SELECTED)
            entries.push_back({"Uncheck Import-event checkbox", [toggle] { toggle(EVENT_NOT_SELECTED); }});
        entries.push_back({"Expand/Collapse Event", [item] { item->setExpanded(!item->isExpanded()); }});
        break;
    }
    case LocationItem: {
        const CRDFLocation* location = ObjectOf<const CRDFLocation>(item);
        if (location->hasSeeAlso())
            entries.push_back({"see Also (URL)...", [this, location] { OpenPage(location->getSeeAlso()); }});
        if (location->haslatitude() && location->haslongitude() &&
            m_agent.GetRegistration().IsInLookupTable(RestaurantAgent))
            entries.push_back({QString("Invoke: ") + RestaurantAgent, [this, location] {
                                   AskRestaurantAgent(location->getlatitude(), location->getlongitude());
                               }});
        break;
    }
    case PersonItem: {
        const CRDFPerson* person = ObjectOf<const CRDFPerson>(item);
        if (person->hasEmail())
            entries.push_back({QString("Email %1").arg(QString::fromStdString(person->getEmail())),
                               [this, person] { MailTo(person->getEmail()); }});
        entries.push_back({"Request Meeting", [this, person] { RequestMeeting(AgentNamesOf({*person})); }});
        entries.push_back({"Add to Contacts List", [this, person] { AddToContacts(*person); }});
        if (person->hasWorkplaceHomepage())
            entries.push_back(
                {"Visit WWW HomePage", [this, person] { OpenPage(person->getWorkplaceHomepage()); }});
        break;
    }
    default:
        break;
    }
    return entries;
}

void CScheduleBrowserDlg::RequestMeeting(const std::string& attendees)
{
    if (attendees.empty())
        return;
    m_meetingAttendees = attendees;
    done(RequestMeetingResult);
}

// A new message to the addresses, in the calendar program's mail form; it
// goes out through the agent's mail.
void CScheduleBrowserDlg::MailTo(const std::string& addresses)
{
    if (addresses.empty())
        return;
    outlook::CApplication* application = m_agent.GetCalendar().GetOutlookApplication();
    std::unique_ptr<outlook::CItem> item =
        application ? application->CreateItem(outlook::olMailItem) : nullptr;
    outlook::CMailItem* mail = item ? item->AsMail() : nullptr;
    if (!mail) {
        CMessageBoxSink::Show("No message can be written: the calendar program is not open.",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    mail->SetTo(addresses);
    if (!mail->Display())
        CMessageBoxSink::Show("No mail form can be shown here.", MB_OK | MB_ICONEXCLAMATION);
}

void CScheduleBrowserDlg::AddToContacts(const CRDFPerson& person)
{
    const std::string name = person.GetName().empty() ? person.getPersonString() : person.GetName();
    if (!m_agent.GetCalendar().CreateOutlookContact(person.getVesperaName(), name, person.getEmail(),
                                                    person.getWorkplaceHomepage()))
        CMessageBoxSink::Show("The contact could not be added to the contacts list.",
                              MB_OK | MB_ICONEXCLAMATION);
}

void CScheduleBrowserDlg::AskRestaurantAgent(double latitude, double longitude)
{
    char query[160];
    std::snprintf(query, sizeof query, "((query :lat (%2.4f) :lng (%03.4f) :radius (5)))", latitude,
                  longitude);
    m_agent.SendAgentMessage("tell", RestaurantAgent,
                             std::string("objective :name \"getInformation\" :parameters (listof (pval "
                                         "\"primary-keys\" \"") +
                                 query + "\"))");
}

void CScheduleBrowserDlg::OpenPage(const std::string& address)
{
    CWebBrowserUtil().OpenOrReport(address);
}
