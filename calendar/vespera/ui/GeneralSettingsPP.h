#pragma once

#include <vespera/ui/PropertyPage.h>

#include <vespera/core/SettingsPages.h>

class QButtonGroup;
class QCheckBox;
class QLineEdit;

// "General": the five switches, the start with the desktop session, the
// meeting-scheduling choice and the schedule service's address.
class CGeneralSettingsPP : public CPropertyPage {
    Q_OBJECT
public:
    explicit CGeneralSettingsPP(QWidget* parent = nullptr);

    void Load(const CGeneralPageInput& input);
    CGeneralPageInput Read() const;

private:
    QCheckBox* m_balloonToolTips = nullptr;
    QCheckBox* m_startMinimized = nullptr;
    QCheckBox* m_startWithSession = nullptr;
    QCheckBox* m_debug = nullptr;
    QCheckBox* m_autoLoadSchedule = nullptr;
    QCheckBox* m_autoInvokeSchedule = nullptr;
    QButtonGroup* m_schedulingType = nullptr;
    QCheckBox* m_trustUnauthenticated = nullptr;
    QLineEdit* m_scheduleServiceUrl = nullptr;
    // Kept when the stored value is none of the three choices.
    int m_loadedType = 1;
};
