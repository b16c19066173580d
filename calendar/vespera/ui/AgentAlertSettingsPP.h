#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QCheckBox;
class QLineEdit;
class QRadioButton;

// "Agent Alert": which events are told to the user, by e-mail or to an
// alert agent, in the short or the long form. The controls enable each
// other as the user changes them.
class CAgentAlertSettingsPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CAgentAlertSettingsPP(QWidget* parent = nullptr);

    void Load(const CAgentAlertPageInput& input);
    CAgentAlertPageInput Read() const;

    // Re-reads the controls and applies the enabling rules.
    void UpdateControls();

private:
    QCheckBox* m_reminders = nullptr;
    QCheckBox* m_meetings = nullptr;
    QCheckBox* m_imports = nullptr;
    QRadioButton* m_byEmail = nullptr;
    QRadioButton* m_byAgent = nullptr;
    QLineEdit* m_emailText = nullptr;
    QLineEdit* m_agentText = nullptr;
    QRadioButton* m_shortForm = nullptr;
    QRadioButton* m_longForm = nullptr;
};
