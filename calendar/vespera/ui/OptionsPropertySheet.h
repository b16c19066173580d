#pragma once

#include <vespera/core/SettingsPages.h>

#include <QDialog>

class CAgentAlertSettingsPP;
class CAgentSettings;
class CCalendarServerPP;
class CGeneralSettingsPP;
class CLookupDetailsPP;
class CMeetingPreferencesPP;
class CScheduleSubscriptions;
class CSubscriptionsPP;
class QTabWidget;

// "Options": the six pages, filled from the settings (and the
// subscriptions) when it opens. It writes nothing itself: Apply writes the
// pages in their order once the user has confirmed.
class COptionsPropertySheet : public QDialog {
    Q_OBJECT
public:
    COptionsPropertySheet(const CAgentSettings& settings, CScheduleSubscriptions& subscriptions,
                          QWidget* parent = nullptr);

    // Writes general, agent alert and meeting preferences into the
    // settings, in that order, then the subscriptions and the calendar
    // server pages (a server page that cannot be stored is said, and
    // stores nothing).
    void ApplyPages(CAgentSettings& settings) const;
    // Writes the lookup details (after the preferences are rebuilt); true
    // when the registration details or the switch changed.
    bool ApplyLookupDetails(CAgentSettings& settings) const;

    CGeneralSettingsPP& General() const { return *m_general; }
    CAgentAlertSettingsPP& AgentAlert() const { return *m_agentAlert; }
    CMeetingPreferencesPP& MeetingPreferences() const { return *m_meetingPreferences; }
    CLookupDetailsPP& LookupDetails() const { return *m_lookupDetails; }
    CSubscriptionsPP& Subscriptions() const { return *m_subscriptionsPage; }
    CCalendarServerPP& CalendarServer() const { return *m_calendarServer; }

private:
    CScheduleSubscriptions& m_subscriptions;
    CSubscriptionsPP* m_subscriptionsPage = nullptr;
    QTabWidget* m_pages = nullptr;
    CGeneralSettingsPP* m_general = nullptr;
    CAgentAlertSettingsPP* m_agentAlert = nullptr;
    CMeetingPreferencesPP* m_meetingPreferences = nullptr;
    CLookupDetailsPP* m_lookupDetails = nullptr;
    CCalendarServerPP* m_calendarServer = nullptr;
};

// "Initialize ANS": the lookup-details page alone, shown at start when no
// usable registration is stored.
class CInitializeANSPropertySheet : public QDialog {
    Q_OBJECT
public:
    CInitializeANSPropertySheet(const CLookupDetailsPageInput& page, QWidget* parent = nullptr);

    CLookupDetailsPP& LookupDetails() const { return *m_lookupDetails; }

private:
    CLookupDetailsPP* m_lookupDetails = nullptr;
};
