#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace outlook {
class CMailItem;
}

// The calendar program's form for a new e-mail: the addresses, a subject
// and the text; Send hands it to the agent's mail (SMTP, or the outbox).
class CMailForm : public QDialog {
    Q_OBJECT
public:
    explicit CMailForm(outlook::CMailItem& item, QWidget* parent = nullptr);

    // Sends, or stays open with a message when there is no address or the
    // mail cannot go.
    void accept() override;

private:
    outlook::CMailItem& m_item;
    QLineEdit* m_to = nullptr;
    QLineEdit* m_subject = nullptr;
    QPlainTextEdit* m_body = nullptr;
};
