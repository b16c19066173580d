#include <vespera/ui/AgentAlertSettingsPP.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <class Control>
Control* Named(Control* control, const char* name)
{
    control->setObjectName(name);
    return control;
}

} // namespace

CAgentAlertSettingsPP::CAgentAlertSettingsPP(QWidget* parent)
    : CPropertyPage("Agent Alert", "#AgentAlert", parent)
{
    auto* events = new QGroupBox("Events");
    auto* eventLayout = new QVBoxLayout(events);
    m_reminders = Named(new QCheckBox("Notify me when an Appointment Reminder is generated"), "reminders");
    m_meetings = Named(new QCheckBox("Notify me when a new meeting has been scheduled"), "meetings");
    m_imports = Named(new QCheckBox("Tell me about all autonomous schedule imports"), "imports");
    for (QCheckBox* box : {m_reminders, m_meetings, m_imports}) {
        eventLayout->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &CAgentAlertSettingsPP::UpdateControls);
    }

    auto* channel = new QGroupBox("Notify me by");
    auto* channelLayout = new QGridLayout(channel);
    m_byEmail = Named(new QRadioButton("Email Address"), "byEmail");
    m_byAgent = Named(new QRadioButton("Agent Name"), "byAgent");
    m_emailText = Named(new QLineEdit, "emailText");
    m_agentText = Named(new QLineEdit, "agentText");
    channelLayout->addWidget(m_byEmail, 0, 0);
    channelLayout->addWidget(m_emailText, 0, 1);
    channelLayout->addWidget(m_byAgent, 1, 0);
    channelLayout->addWidget(m_agentText, 1, 1);
    auto* channels = new QButtonGroup(this);
    channels->addButton(m_byEmail);
    channels->addButton(m_byAgent);

    auto* form = new QGroupBox("Form");
    auto* formLayout = new QVBoxLayout(form);
    m_shortForm = Named(new QRadioButton("Short notifications  (e.g. for cell/mobile phone)"), "shortForm");
    m_longForm = Named(new QRadioButton("Long notifications (including negotiation trace)"), "longForm");
    formLayout->addWidget(m_shortForm);
    formLayout->addWidget(m_longForm);
    auto* forms = new QButtonGroup(this);
    forms->addButton(m_shortForm);
    forms->addButton(m_longForm);
    for (QRadioButton* choice : {m_byEmail, m_byAgent, m_shortForm, m_longForm})
        connect(choice, &QRadioButton::toggled, this, &CAgentAlertSettingsPP::UpdateControls);

    Fields()->addWidget(events);
    Fields()->addWidget(channel);
    Fields()->addWidget(form);
    UpdateControls();
}

void CAgentAlertSettingsPP::Load(const CAgentAlertPageInput& input)
{
    m_reminders->setChecked(input.remindersBox);
    m_meetings->setChecked(input.meetingsBox);
    m_imports->setChecked(input.importsBox);
    (input.channel == CAgentAlertPageInput::AgentName ? m_byAgent : m_byEmail)->setChecked(true);
    m_emailText->setText(QString::fromStdString(input.emailText));
    m_agentText->setText(QString::fromStdString(input.agentText));
    (input.form == CAgentAlertPageInput::LongForm ? m_longForm : m_shortForm)->setChecked(true);
    UpdateControls();
}

CAgentAlertPageInput CAgentAlertSettingsPP::Read() const
{
    CAgentAlertPageInput input;
    input.remindersBox = m_reminders->isChecked();
    input.meetingsBox = m_meetings->isChecked();
    input.importsBox = m_imports->isChecked();
    input.channel =
        m_byAgent->isChecked() ? CAgentAlertPageInput::AgentName : CAgentAlertPageInput::EmailAddress;
    input.emailText = m_emailText->text().toStdString();
    input.agentText = m_agentText->text().toStdString();
    input.form = m_longForm->isChecked() ? CAgentAlertPageInput::LongForm : CAgentAlertPageInput::ShortForm;
    return input;
}

void CAgentAlertSettingsPP::UpdateControls()
{
    const CAgentAlertPageInput input = Read();
    const bool anyEvent = input.AnyEventBox();
    m_byEmail->setEnabled(anyEvent);
    m_byAgent->setEnabled(anyEvent);
    m_emailText->setReadOnly(!(anyEvent && input.channel == CAgentAlertPageInput::EmailAddress));
    m_agentText->setReadOnly(!(anyEvent && input.channel == CAgentAlertPageInput::AgentName));
    m_shortForm->setEnabled(input.meetingsBox);
    m_longForm->setEnabled(input.meetingsBox);
}
