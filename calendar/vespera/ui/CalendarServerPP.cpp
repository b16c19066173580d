#include <vespera/ui/CalendarServerPP.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

QLineEdit* NamedField(const char* name, const char* placeholder)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setPlaceholderText(placeholder);
    return field;
}

} // namespace

CCalendarServerPP::CCalendarServerPP(QWidget* parent)
    : CPropertyPage("Calendar Server", "#CalendarServer", parent)
{
    m_useServer = new QCheckBox("Keep the calendar and contacts on a calendar server (CalDAV and CardDAV)\n"
                                "that my phone and other programs share, instead of in the agent's files.");
    m_useServer->setObjectName("useServer");
    m_url = NamedField("url", "https://dav.example.org/");
    m_user = NamedField("user", "empty: no login");
    m_password = NamedField("password", "kept in the desktop keyring; empty: left as it is");
    m_password->setEchoMode(QLineEdit::Password);
    m_contactsUrl = NamedField("contactsUrl", "empty: found from the server's address");
    m_pollSeconds = NamedField("pollSeconds", "60");
    connect(m_useServer, &QCheckBox::toggled, this, &CCalendarServerPP::UpdateControls);

    Fields()->addWidget(m_useServer);
    auto* form = new QFormLayout;
    form->addRow("Server address:", m_url);
    form->addRow("User name:", m_user);
    form->addRow("Password:", m_password);
    form->addRow("Address book:", m_contactsUrl);
    form->addRow("Ask for changes every (seconds):", m_pollSeconds);
    Fields()->addLayout(form);
    auto* note = new QLabel("The password is read from ~/.netrc (\"machine HOST login USER password ...\"),\n"
                            "else from the desktop keyring; it is never stored with the settings.\n"
                            "The agent uses these settings when it starts again.");
    note->setObjectName("note");
    Fields()->addWidget(note);
    UpdateControls();
}

void CCalendarServerPP::Load(const CCalendarServerPageInput& input)
{
    m_useServer->setChecked(input.useServer);
    m_url->setText(QString::fromStdString(input.url));
    m_user->setText(QString::fromStdString(input.user));
    m_contactsUrl->setText(QString::fromStdString(input.contactsUrl));
    m_pollSeconds->setText(QString::fromStdString(input.pollSeconds));
    UpdateControls();
}

CCalendarServerPageInput CCalendarServerPP::Read() const
{
    CCalendarServerPageInput input;
    input.useServer = m_useServer->isChecked();
    input.url = m_url->text().trimmed().toStdString();
    input.user = m_user->text().trimmed().toStdString();
    input.contactsUrl = m_contactsUrl->text().trimmed().toStdString();
    input.password = m_password->text().toStdString();
    input.pollSeconds = m_pollSeconds->text().trimmed().toStdString();
    return input;
}

void CCalendarServerPP::UpdateControls()
{
    const bool on = m_useServer->isChecked();
    for (QWidget* field :
         std::initializer_list<QWidget*>{m_url, m_user, m_password, m_contactsUrl, m_pollSeconds})
        field->setEnabled(on);
}
