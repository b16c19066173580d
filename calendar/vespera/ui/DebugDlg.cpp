#include <vespera/ui/DebugDlg.h>

#include <vespera/browser/AppointmentListView.h>
#include <vespera/browser/ScheduleHistory.h>

#include <vespera/core/AppointmentStore.h>
#include <vespera/core/Vespera.h>

#include <agentkit/widgets/ParserTree.h>
#include <eventview/DialogButton.h>

#include <platform/HostAddress.h>
#include <platform/MessageBoxSink.h>

#include <QCloseEvent>
#include <QSignalBlocker>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

CDebugDlg::CDebugDlg(CVespera& agent, std::function<void()> onClose, QWidget* parent)
    : QDialog(parent, Qt::Window), m_agent(agent), m_onClose(std::move(onClose))
{
    setWindowTitle("ORVANTE Calendar Agent: Debug");
    setModal(false);
    auto* monitors = new QHBoxLayout;
    monitors->addWidget(Monitor("Outgoing messages", m_outgoing, m_outgoingTree, "outgoing"));
    monitors->addWidget(Monitor("Incoming messages", m_incoming, m_incomingTree, "incoming"));
    m_appointments = new CAppointmentListView;
    m_appointments->setObjectName("appointments");
    m_appointments->SetupColumns();

    m_testAgent = new QLineEdit;
    m_testAgent->setObjectName("testAgent");
    m_testAgent->setPlaceholderText("agent to ask");
    QPushButton* test = NewDialogButton("Test: Auto Browse Schedule", "autoBrowse");
    QPushButton* help = NewDialogButton("Help", "help");
    QPushButton* close = NewDialogButton("Close and Disable Debug Mode", "closeDebug");
    connect(test, &QPushButton::clicked, this, &CDebugDlg::OnAutoBrowseTest);
    connect(help, &QPushButton::clicked, this,
            [] { CMessageBoxSink::Show(HelpMessage, MB_OK | MB_ICONINFORMATION, "Debug Window"); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_testAgent, 1);
    buttons->addWidget(test);
    buttons->addStretch();
    buttons->addWidget(help);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(monitors, 2);
    layout->addWidget(m_appointments, 1);
    layout->addLayout(buttons);
    resize(1000, 700);
}

QWidget* CDebugDlg::Monitor(const char* title, QListWidget*& list, CParserTree*& tree, const char* name)
{
    auto* box = new QGroupBox(title);
    list = new QListWidget;
    list->setObjectName(QString(name) + "List");
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tree = new CParserTree;
    tree->setObjectName(QString(name) + "Tree");
    QPushButton* clear = NewDialogButton("Clear", (std::string(name) + "Clear").c_str());
    QListWidget* shownList = list;
    CParserTree* shownTree = tree;
    connect(list, &QListWidget::currentTextChanged, this,
            [shownTree](const QString& text) { ShowInTree(shownTree, text); });
    connect(clear, &QPushButton::clicked, this, [shownList, shownTree] { Clear(shownList, shownTree); });
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(list, 1);
    layout->addWidget(tree, 2);
    layout->addWidget(clear, 0, Qt::AlignRight);
    return box;
}

std::string CDebugDlg::OutgoingLine(const std::string& performative, const std::string& receiver,
                                    const std::string& content)
{
    return "(" + performative + " :receiver " + receiver + " :content (" + content + "))";
}

void CDebugDlg::TraceIncoming(const std::string& text)
{
    Trace(m_incoming, m_incomingTree, text);
}

void CDebugDlg::TraceOutgoing(const std::string& performative, const std::string& receiver,
                              const std::string& content)
{
    Trace(m_outgoing, m_outgoingTree, OutgoingLine(performative, receiver, content));
}

void CDebugDlg::Trace(QListWidget* list, CParserTree* tree, const std::string& line)
{
    const QString text = QString::fromStdString(line);
    list->addItem(text);
    // The new line is selected and shown, whatever was selected before.
    const QSignalBlocker quiet(list);
    list->setCurrentRow(list->count() - 1);
    ShowInTree(tree, text);
}

// The tree's top item is opened, and of its children the sender, the
// receiver and the content.
void CDebugDlg::ShowInTree(CParserTree* tree, const QString& text)
{
    tree->ShowTree(text.toLatin1().constData());
    QTreeWidgetItem* top = tree->topLevelItem(0);
    if (!top)
        return;
    top->setExpanded(!top->isExpanded());
    for (int i = 0; i < top->childCount(); ++i) {
        const QString name = top->child(i)->text(0);
        if (name == ":sender" || name == ":receiver" || name == ":content")
            top->child(i)->setExpanded(true);
    }
}

void CDebugDlg::Clear(QListWidget* list, CParserTree* tree)
{
    list->clear();
    tree->clear();
}

void CDebugDlg::RefreshAppointments()
{
    m_appointments->clear();
    const CAppointmentStore& store = m_agent.GetAppointmentStore();
    for (int i = 0; i < store.GetCount(); ++i)
        m_appointments->AddRow(store, i);
}

void CDebugDlg::OnAutoBrowseTest()
{
    const std::string receiver = m_testAgent->text().trimmed().toStdString();
    if (receiver.empty())
        return;
    const std::string address = CScheduleHistory::Examples().front();
    m_agent.SendAgentMessage("tell", receiver,
                             "tell :objective browseScheduleURL :url \"" + address + "\" :remote-addr \"" +
                                 GetHostAddress() + "\"");
}

// Closing (the button, the title bar or Escape) ends debug mode.
void CDebugDlg::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_onClose)
        m_onClose();
}

// Escape would only hide the window and leave debug mode on with no way to
// show it again.
void CDebugDlg::reject()
{
    close();
}
