#include <vespera/ui/MailForm.h>

#include <outlook/MailItem.h>

#include <platform/MessageBoxSink.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

CMailForm::CMailForm(outlook::CMailItem& item, QWidget* parent) : QDialog(parent), m_item(item)
{
    setWindowTitle("Message");
    m_to = new QLineEdit(QString::fromStdString(item.GetTo()));
    m_to->setObjectName("to");
    m_subject = new QLineEdit(QString::fromStdString(item.GetSubject()));
    m_subject->setObjectName("subject");
    m_body = new QPlainTextEdit(QString::fromStdString(item.GetBody()));
    m_body->setObjectName("body");
    auto* form = new QFormLayout(this);
    form->addRow("To:", m_to);
    form->addRow("Subject:", m_subject);
    form->addRow(m_body);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    buttons->addButton("Send", QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMailForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMailForm::reject);
    form->addRow(buttons);
    resize(520, 360);
}

void CMailForm::accept()
{
    if (m_to->text().trimmed().isEmpty()) {
        CMessageBoxSink::Show("Enter at least one address to send the message to.",
                              MB_OK | MB_ICONEXCLAMATION, "Message");
        return;
    }
    m_item.SetTo(m_to->text().trimmed().toStdString());
    m_item.SetSubject(m_subject->text().toStdString());
    m_item.SetBody(m_body->toPlainText().toStdString());
    if (!m_item.Send()) {
        CMessageBoxSink::Show("The message could not be sent. It has not been kept.", MB_OK | MB_ICONSTOP,
                              "Message");
        return;
    }
    QDialog::accept();
}
