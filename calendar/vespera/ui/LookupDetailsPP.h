#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QCheckBox;
class QLineEdit;

// "Agent Lookup Details": whether the agent registers with the name server,
// and the address, name, host and port it registers with. The agent name
// is always made from the e-mail address and cannot be typed.
class CLookupDetailsPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CLookupDetailsPP(QWidget* parent = nullptr);

    void Load(const CLookupDetailsPageInput& input);
    CLookupDetailsPageInput Read() const;

    // The fields are editable only while the registration box is on.
    void UpdateControls();

private:
    void OnEmailChanged(const QString& email);

    QCheckBox* m_registered = nullptr;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_agentName = nullptr;
    QLineEdit* m_ansHost = nullptr;
    QLineEdit* m_ansPort = nullptr;
    QCheckBox* m_buildName = nullptr;
};
