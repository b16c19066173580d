#include <vespera/ui/AboutDlg.h>

#include <vespera/ui/Artwork.h>

#include <eventview/HelpPages.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About ORVANTE Calendar Agent");
    auto* icon = new QLabel;
    icon->setPixmap(Artwork::AgentIcon().pixmap(64, 64));
    auto* text = new QLabel(QString("<b>ORVANTE Semantic Web Calendar Agent</b><br>Version %1<br><br>"
                                    "Negotiates meetings with other users' calendar agents,<br>"
                                    "answers appointment requests and keeps you informed.<br><br>"
                                    "<a href=\"help\">Help pages</a>")
                                .arg(ORVANTE_VERSION));
    connect(text, &QLabel::linkActivated, this, [] { HelpPages::Open(HelpPages::HomePage); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
