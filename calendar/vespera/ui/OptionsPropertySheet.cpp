#include <vespera/ui/OptionsPropertySheet.h>

#include <vespera/ui/AgentAlertSettingsPP.h>
#include <vespera/ui/CalendarServerPP.h>
#include <vespera/ui/GeneralSettingsPP.h>
#include <vespera/ui/LookupDetailsPP.h>
#include <vespera/ui/MeetingPreferencesPP.h>
#include <vespera/ui/SubscriptionsPP.h>

#include <platform/MessageBoxSink.h>

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// OK and Cancel, no Apply: nothing is written before the user confirms.
QDialogButtonBox* SheetButtons(QDialog* sheet)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    return buttons;
}

} // namespace

COptionsPropertySheet::COptionsPropertySheet(const CAgentSettings& settings,
                                             CScheduleSubscriptions& subscriptions, QWidget* parent)
    : QDialog(parent), m_subscriptions(subscriptions)
{
    setWindowTitle("Options");
    m_general = new CGeneralSettingsPP;
    m_agentAlert = new CAgentAlertSettingsPP;
    m_meetingPreferences = new CMeetingPreferencesPP;
    m_lookupDetails = new CLookupDetailsPP;
    m_subscriptionsPage = new CSubscriptionsPP;
    m_calendarServer = new CCalendarServerPP;
    m_general->Load(SettingsPages::LoadGeneralPage(settings));
    m_agentAlert->Load(SettingsPages::LoadAgentAlertPage(settings));
    m_meetingPreferences->Load(SettingsPages::LoadMeetingPreferencesPage(settings));
    m_lookupDetails->Load(SettingsPages::LoadLookupDetailsPage(settings));
    m_subscriptionsPage->Load(SettingsPages::LoadSubscriptionsPage(settings, subscriptions));
    m_calendarServer->Load(SettingsPages::LoadCalendarServerPage(settings));

    m_pages = new QTabWidget;
    for (CPropertyPage* page :
         std::initializer_list<CPropertyPage*>{m_general, m_agentAlert, m_meetingPreferences, m_lookupDetails,
                                               m_subscriptionsPage, m_calendarServer})
        m_pages->addTab(page, page->Title());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(SheetButtons(this));
}

void COptionsPropertySheet::ApplyPages(CAgentSettings& settings) const
{
    SettingsPages::ApplyGeneralPage(settings, m_general->Read());
    SettingsPages::ApplyAgentAlertPage(settings, m_agentAlert->Read());
    SettingsPages::ApplyMeetingPreferencesPage(settings, m_meetingPreferences->Read());
    SettingsPages::ApplySubscriptionsPage(settings, m_subscriptions, m_subscriptionsPage->Read());
    const std::string problem = SettingsPages::ApplyCalendarServerPage(settings, m_calendarServer->Read());
    if (!problem.empty())
        CMessageBoxSink::Show(problem, MB_OK | MB_ICONEXCLAMATION);
}

bool COptionsPropertySheet::ApplyLookupDetails(CAgentSettings& settings) const
{
    return SettingsPages::WriteLookupDetailsPage(settings, m_lookupDetails->Read());
}

CInitializeANSPropertySheet::CInitializeANSPropertySheet(const CLookupDetailsPageInput& page, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Initialize ANS");
    m_lookupDetails = new CLookupDetailsPP;
    m_lookupDetails->Load(page);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lookupDetails);
    layout->addWidget(SheetButtons(this));
}
