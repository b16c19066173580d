#include <vespera/ui/MeetingPreferencesPP.h>

#include <vespera/ui/QtSinks.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QTimeEdit>

namespace {

// An unreadable stored time shows as midnight; it is written back only when
// the user confirms, as what the picker then shows.
QTime ToQTime(const CDateTime& time)
{
    if (time.GetStatus() != CDateTime::valid)
        return QTime(0, 0);
    return QTime(time.GetHour(), time.GetMinute(), time.GetSecond());
}

CDateTime FromQTime(const QTime& time)
{
    return CDateTime(1899, 12, 30, time.hour(), time.minute(), time.second());
}

} // namespace

CMeetingPreferencesPP::CMeetingPreferencesPP(QWidget* parent)
    : CPropertyPage("Meeting Preferences", "#MeetingPreferences", parent)
{
    m_morning = new QCheckBox("Do not arrange meetings earlier than");
    m_morning->setObjectName("morning");
    m_evening = new QCheckBox("Do not arrange meetings later than");
    m_evening->setObjectName("evening");
    m_weekend = new QCheckBox("Do not allow weekend meetings (Sat/Sun)");
    m_weekend->setObjectName("weekend");
    m_morningTime = new QTimeEdit;
    m_morningTime->setObjectName("morningTime");
    m_eveningTime = new QTimeEdit;
    m_eveningTime->setObjectName("eveningTime");
    for (QTimeEdit* edit : {m_morningTime, m_eveningTime})
        edit->setDisplayFormat(CQtUserTimeFormat::TimeFormat());
    auto* grid = new QGridLayout;
    grid->addWidget(m_morning, 0, 0);
    grid->addWidget(m_morningTime, 0, 1);
    grid->addWidget(m_evening, 1, 0);
    grid->addWidget(m_eveningTime, 1, 1);
    grid->addWidget(m_weekend, 2, 0, 1, 2);
    Fields()->addLayout(grid);
}

void CMeetingPreferencesPP::Load(const CMeetingPreferencesPageInput& input)
{
    m_morning->setChecked(input.morningBounds);
    m_evening->setChecked(input.eveningBounds);
    m_weekend->setChecked(input.weekendBounds);
    m_morningTime->setTime(ToQTime(input.morningTime));
    m_eveningTime->setTime(ToQTime(input.eveningTime));
}

CMeetingPreferencesPageInput CMeetingPreferencesPP::Read() const
{
    CMeetingPreferencesPageInput input;
    input.morningBounds = m_morning->isChecked();
    input.eveningBounds = m_evening->isChecked();
    input.weekendBounds = m_weekend->isChecked();
    input.morningTime = FromQTime(m_morningTime->time());
    input.eveningTime = FromQTime(m_eveningTime->time());
    return input;
}
