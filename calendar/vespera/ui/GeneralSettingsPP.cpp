#include <vespera/ui/GeneralSettingsPP.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QCheckBox* AddBox(QVBoxLayout* layout, const char* text, const char* name)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(name);
    layout->addWidget(box);
    return box;
}

// Said plainly, since the box undoes what keys are for.
const char* const TrustWarning =
    "Warning: with this on, anyone on the network can act as one of your contacts (write appointments "
    "into your calendar, take part in your meetings) just by sending that contact's agent name. Only for "
    "contacts whose agents cannot prove their names yet. Takes effect at the next start.";

} // namespace

CGeneralSettingsPP::CGeneralSettingsPP(QWidget* parent) : CPropertyPage("General", "#General", parent)
{
    m_balloonToolTips = AddBox(Fields(), "Enable Ballon ToolTips", "balloonToolTips");
    m_startMinimized = AddBox(Fields(), "Minimize Agent at Startup", "startMinimized");
    m_startWithSession = AddBox(Fields(), "Start with my desktop session", "startWithSession");
    m_debug = AddBox(Fields(), "Switch on Debug Mode (Advanced)", "debug");
    m_autoLoadSchedule = AddBox(Fields(), "Enable Autonomous Schedule Import", "autoLoadSchedule");
    m_autoInvokeSchedule =
        AddBox(Fields(), "Enable Autonomous Invocation of Schedule Browser", "autoInvokeSchedule");
    auto* group = new QGroupBox("Distributed Meeting Scheduling");
    auto* choices = new QVBoxLayout(group);
    m_schedulingType = new QButtonGroup(this);
    const char* texts[] = {"Disable Distributed Meeting Scheduling",
                           "Only schedule meetings requested by known contacts",
                           "Schedule all meetings requests"};
    for (int type = 0; type < 3; ++type) {
        auto* choice = new QRadioButton(texts[type]);
        choice->setObjectName(QString("schedulingType%1").arg(type));
        m_schedulingType->addButton(choice, type);
        choices->addWidget(choice);
    }
    m_trustUnauthenticated =
        AddBox(choices, "Trust contacts whose agents have no key", "trustUnauthenticated");
    auto* warning = new QLabel(TrustWarning);
    warning->setObjectName("trustWarning");
    warning->setWordWrap(true);
    choices->addWidget(warning);
    Fields()->addWidget(group);
    auto* service = new QHBoxLayout;
    m_scheduleServiceUrl = new QLineEdit;
    m_scheduleServiceUrl->setObjectName("scheduleServiceUrl");
    m_scheduleServiceUrl->setPlaceholderText("https://...");
    auto* label = new QLabel("Schedule service address (Test):");
    label->setBuddy(m_scheduleServiceUrl);
    service->addWidget(label);
    service->addWidget(m_scheduleServiceUrl, 1);
    Fields()->addLayout(service);
}

void CGeneralSettingsPP::Load(const CGeneralPageInput& input)
{
    m_balloonToolTips->setChecked(input.balloonToolTips);
    m_startMinimized->setChecked(input.startMinimized);
    m_startWithSession->setChecked(input.startWithSession);
    m_debug->setChecked(input.debug);
    m_autoLoadSchedule->setChecked(input.autoLoadSchedule);
    m_autoInvokeSchedule->setChecked(input.autoInvokeSchedule);
    m_loadedType = input.meetingSchedulingType;
    if (QAbstractButton* choice = m_schedulingType->button(input.meetingSchedulingType))
        choice->setChecked(true);
    m_trustUnauthenticated->setChecked(input.trustUnauthenticatedContacts);
    m_scheduleServiceUrl->setText(QString::fromStdString(input.scheduleServiceUrl));
}

CGeneralPageInput CGeneralSettingsPP::Read() const
{
    CGeneralPageInput input;
    input.balloonToolTips = m_balloonToolTips->isChecked();
    input.startMinimized = m_startMinimized->isChecked();
    input.startWithSession = m_startWithSession->isChecked();
    input.debug = m_debug->isChecked();
    input.autoLoadSchedule = m_autoLoadSchedule->isChecked();
    input.autoInvokeSchedule = m_autoInvokeSchedule->isChecked();
    const int type = m_schedulingType->checkedId();
    input.meetingSchedulingType = type < 0 ? m_loadedType : type;
    input.trustUnauthenticatedContacts = m_trustUnauthenticated->isChecked();
    input.scheduleServiceUrl = m_scheduleServiceUrl->text().trimmed().toStdString();
    return input;
}
