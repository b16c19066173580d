#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QCheckBox;
class QTimeEdit;

// "Meeting Preferences": the earliest and latest times of day for meetings
// and whether weekends are free of them.
class CMeetingPreferencesPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CMeetingPreferencesPP(QWidget* parent = nullptr);

    void Load(const CMeetingPreferencesPageInput& input);
    CMeetingPreferencesPageInput Read() const;

private:
    QCheckBox* m_morning = nullptr;
    QCheckBox* m_evening = nullptr;
    QCheckBox* m_weekend = nullptr;
    QTimeEdit* m_morningTime = nullptr;
    QTimeEdit* m_eveningTime = nullptr;
};
