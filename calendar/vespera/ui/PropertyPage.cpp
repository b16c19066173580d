#include <vespera/ui/PropertyPage.h>

#include <eventview/HelpPages.h>

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

CPropertyPage::CPropertyPage(const QString& title, const std::string& helpAnchor, QWidget* parent)
    : QWidget(parent), m_title(title), m_helpAnchor(helpAnchor)
{
    auto* layout = new QVBoxLayout(this);
    m_fields = new QVBoxLayout;
    layout->addLayout(m_fields);
    layout->addStretch();
    auto* help = new QPushButton("Help");
    help->setObjectName("help");
    connect(help, &QPushButton::clicked, this, &CPropertyPage::OnHelp);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(help);
    layout->addLayout(row);
    auto* key =
        new QShortcut(QKeySequence::HelpContents, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(key, &QShortcut::activated, this, &CPropertyPage::OnHelp);
}

void CPropertyPage::OnHelp()
{
    HelpPages::Open(std::string(HelpPages::OptionsPage) + m_helpAnchor);
}
