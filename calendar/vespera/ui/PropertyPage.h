#pragma once

#include <QWidget>

#include <string>

class QVBoxLayout;

// A page of a property sheet: its fields on top, a Help button below that
// (like the F1 key) opens the page's section of the options help.
class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    // `helpAnchor` is the section of the options help, "#General" say.
    CPropertyPage(const QString& title, const std::string& helpAnchor, QWidget* parent = nullptr);

    const QString& Title() const { return m_title; }
    const std::string& HelpAnchor() const { return m_helpAnchor; }
    void OnHelp();

protected:
    // Where a page puts its fields.
    QVBoxLayout* Fields() const { return m_fields; }

private:
    QString m_title;
    std::string m_helpAnchor;
    QVBoxLayout* m_fields = nullptr;
};
