#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QPushButton;
class QSpinBox;
class QTreeWidget;

// "Subscriptions": the schedules subscribed to, each with its last fetch
// and what that did, a button that ends the one selected, and how often
// they are fetched again. Ending takes effect when the sheet is confirmed.
class CSubscriptionsPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CSubscriptionsPP(QWidget* parent = nullptr);

    void Load(const CSubscriptionsPageInput& input);
    CSubscriptionsPageInput Read() const;
    // Ends the selected subscription (the button does).
    void OnEnd();

private:
    void UpdateEndButton();

    QTreeWidget* m_list = nullptr;
    QPushButton* m_end = nullptr;
    QSpinBox* m_refreshHours = nullptr;
    CSubscriptionsPageInput m_loaded;
    std::vector<std::string> m_ended;
};
