#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QCheckBox;
class QLineEdit;

// "Calendar Server": whether the calendar lives on a CalDAV server rather
// than in the agent's files, and where. The agent reads it at its next
// start; the password stays in the user's ~/.netrc.
class CCalendarServerPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CCalendarServerPP(QWidget* parent = nullptr);

    void Load(const CCalendarServerPageInput& input);
    CCalendarServerPageInput Read() const;

    // The fields are editable only while the server box is on.
    void UpdateControls();

private:
    QCheckBox* m_useServer = nullptr;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_contactsUrl = nullptr;
    QLineEdit* m_pollSeconds = nullptr;
};
