#include <vespera/ui/LookupDetailsPP.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>

namespace {

QLineEdit* NamedField(const char* name)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    return field;
}

} // namespace

CLookupDetailsPP::CLookupDetailsPP(QWidget* parent)
    : CPropertyPage("Agent Lookup Details", "#AgentLookupDetails", parent)
{
    m_registered = new QCheckBox("Check this box to enable Lookup/Registration with the ANS.\nThe agent then "
                                 "registers its name with the Agent Name Server (ANS) below,\nso that other "
                                 "agents can find it.");
    m_registered->setObjectName("registered");
    m_email = NamedField("email");
    m_agentName = NamedField("agentName");
    m_agentName->setReadOnly(true);
    m_ansHost = NamedField("ansHost");
    m_ansPort = NamedField("ansPort");
    m_buildName = new QCheckBox("Build agent name from email address (recomended)");
    m_buildName->setObjectName("buildName");
    m_buildName->setChecked(true);
    // The name is always built from the address: the box cannot be cleared.
    connect(m_buildName, &QCheckBox::clicked, m_buildName, [this] { m_buildName->setChecked(true); });
    connect(m_registered, &QCheckBox::toggled, this, &CLookupDetailsPP::UpdateControls);
    connect(m_email, &QLineEdit::textEdited, this, &CLookupDetailsPP::OnEmailChanged);

    Fields()->addWidget(m_registered);
    auto* form = new QFormLayout;
    form->addRow("Email Address:", m_email);
    form->addRow("Agent Name:", m_agentName);
    form->addRow("ANS Host:", m_ansHost);
    form->addRow("ANS Port:", m_ansPort);
    form->addRow(QString(), m_buildName);
    Fields()->addLayout(form);
    UpdateControls();
}

void CLookupDetailsPP::Load(const CLookupDetailsPageInput& input)
{
    m_registered->setChecked(input.registered);
    m_email->setText(QString::fromStdString(input.email));
    m_agentName->setText(QString::fromStdString(input.agentName));
    m_ansHost->setText(QString::fromStdString(input.ansHost));
    m_ansPort->setText(QString::fromStdString(input.ansPort));
    UpdateControls();
}

CLookupDetailsPageInput CLookupDetailsPP::Read() const
{
    CLookupDetailsPageInput input;
    input.registered = m_registered->isChecked();
    input.email = m_email->text().toStdString();
    input.agentName = m_agentName->text().toStdString();
    input.ansHost = m_ansHost->text().toStdString();
    input.ansPort = m_ansPort->text().toStdString();
    return input;
}

void CLookupDetailsPP::UpdateControls()
{
    const bool on = m_registered->isChecked();
    for (QWidget* field : std::initializer_list<QWidget*>{m_email, m_ansHost, m_ansPort, m_buildName})
        field->setEnabled(on);
}

void CLookupDetailsPP::OnEmailChanged(const QString& email)
{
    m_agentName->setText(QString::fromStdString(SettingsPages::AgentNameFromEmail(email.toStdString())));
}
