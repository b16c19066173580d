#include <vespera/browser/ScheduleBrowserDlg.h>

#include <vespera/browser/ScheduleHistory.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/ScheduleSubscriptions.h>
#include <vespera/core/StartupPause.h>
#include <vespera/core/Vespera.h>

#include <eventmodel/RDFVCalendar.h>
#include <eventview/DialogButton.h>
#include <eventview/HelpPages.h>
#include <eventview/WindowMemory.h>
#include <eventview/XInfoTip.h>
#include <graphstore/DocumentFetch.h>
#include <graphstore/Vocabulary.h>

#include <platform/EventLoop.h>
#include <platform/Registry.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr int KindRole = Qt::UserRole;
constexpr int ObjectRole = Qt::UserRole + 1;

int g_pauseLimitMs = -1;
constexpr int ProgressPeriodMs = 250;
constexpr const char* RetrievingText = "Retrieving Document (this may take a few minutes)... ";

// The names the window's layout is kept under.
constexpr const char* WindowValue = "BrowserWindow";
constexpr const char* SplitterValue = "BrowserSplitter";

template <class Object>
Object* ObjectOf(QTreeWidgetItem* item)
{
    return item ? static_cast<Object*>(item->data(0, ObjectRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* NewItem(const std::string& text, int kind, const void* object)
{
    auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(text)));
    item->setData(0, KindRole, kind);
    item->setData(0, ObjectRole, QVariant::fromValue(const_cast<void*>(object)));
    return item;
}

} // namespace

CScheduleBrowserDlg::CScheduleBrowserDlg(CVespera& agent, bool balloonTips, QWidget* parent)
    : QDialog(parent), m_agent(agent)
{
    setWindowTitle("Semantic Web Schedule Browser");
    BuildControls();
    m_layout = std::make_unique<CWindowMemory>(CRegistry(), CAgentSettings::WindowLayoutKey);
    m_layout->RestoreGeometry(*this, WindowValue);
    m_layout->RestoreState(*m_trees, SplitterValue);
    LoadHistory();
    AttachTips();
    m_tips->SetRelayEnabled(balloonTips);
    SetStatus("Enter a URL of the page containing the desired schedule.");
}

// A retrieval still running stops with the dialog.
CScheduleBrowserDlg::~CScheduleBrowserDlg() = default;

void CScheduleBrowserDlg::SetPauseLimit(int milliseconds)
{
    g_pauseLimitMs = milliseconds;
}

void CScheduleBrowserDlg::BuildControls()
{
    auto* banner = new QLabel(QString("Tarvik Orvante Semantic Web Schedule Browser %1.  ").arg(Version));
    QFont bold = banner->font();
    bold.setBold(true);
    banner->setFont(bold);
    m_address = new QComboBox;
    m_address->setObjectName("address");
    m_address->setEditable(true);
    m_address->setMinimumWidth(420);
    // Enter retrieves; the history is kept by RememberAddress alone.
    m_address->setInsertPolicy(QComboBox::NoInsert);
    connect(m_address->lineEdit(), &QLineEdit::returnPressed, this, &CScheduleBrowserDlg::OnRetrieve);
    m_status = new QLabel;
    m_status->setObjectName("status");
    m_schedules = new QTreeWidget;
    m_schedules->setObjectName("schedules");
    m_schedules->setHeaderLabel("Calendar Schedules");
    m_events = new QTreeWidget;
    m_events->setObjectName("events");
    m_events->setHeaderLabel("Events");
    connect(m_schedules, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { FillEventTree(ObjectOf<CRDFVCalendar>(item)); });
    connect(m_schedules, &QTreeWidget::itemChanged, this, &CScheduleBrowserDlg::OnItemChanged);
    connect(m_events, &QTreeWidget::itemChanged, this, &CScheduleBrowserDlg::OnItemChanged);

    QPushButton* retrieve = NewDialogButton("Retrieve", "retrieve");
    QPushButton* checkAll = NewDialogButton("Check All", "checkAll");
    QPushButton* uncheckAll = NewDialogButton("Uncheck All", "uncheckAll");
    QPushButton* import = NewDialogButton("Import", "import");
    m_subscribe = new QCheckBox(QString("Subscribe (all its events, fetched again every %1 hours)")
                                    .arg(m_agent.GetSettings().GetScheduleRefreshHours()));
    m_subscribe->setObjectName("subscribe");
    QPushButton* close = NewDialogButton("Close", "close");
    m_close = close;
    m_progress = new QTimer(this);
    m_progress->setInterval(ProgressPeriodMs);
    connect(m_progress, &QTimer::timeout, this, &CScheduleBrowserDlg::ShowProgress);
    QPushButton* help = NewDialogButton("Help", "help");
    auto* home = new QLabel("<a href=\"home\">Orvante Calendar Agent Home Page</a>");
    home->setObjectName("homePage");
    connect(retrieve, &QPushButton::clicked, this, &CScheduleBrowserDlg::OnRetrieve);
    connect(checkAll, &QPushButton::clicked, this, [this] { OnCheckAll(true); });
    connect(uncheckAll, &QPushButton::clicked, this, [this] { OnCheckAll(false); });
    connect(import, &QPushButton::clicked, this, &CScheduleBrowserDlg::OnImport);
    connect(close, &QPushButton::clicked, this, &CScheduleBrowserDlg::OnCloseOrCancel);
    connect(help, &QPushButton::clicked, this, [this] { HelpPages::Open(HelpPages::BrowserPage); });
    connect(home, &QLabel::linkActivated, this, [this] { HelpPages::Open(HelpPages::HomePage); });

    auto* top = new QHBoxLayout;
    top->addWidget(m_address, 1);
    top->addWidget(retrieve);
    m_trees = new QSplitter(Qt::Horizontal);
    m_trees->setObjectName("trees");
    m_trees->setChildrenCollapsible(false);
    m_trees->addWidget(m_schedules);
    m_trees->addWidget(m_events);
    m_trees->setSizes({360, 540});
    // The long subscribe box has a row of its own, so that the browser fits
    // a screen 1,024 pixels wide.
    auto* buttons = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{checkAll, uncheckAll, import, help, home})
        buttons->addWidget(widget);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addLayout(top);
    layout->addWidget(m_status);
    layout->addWidget(m_trees, 1);
    layout->addWidget(m_subscribe);
    layout->addLayout(buttons);
    resize(900, 560);
}

void CScheduleBrowserDlg::AttachTips()
{
    m_tips = std::make_unique<CXInfoTip>();
    m_tips->Create(this);
    const std::pair<const char*, const char*> tips[] = {
        {"address",
         "Enter the URL of a Semantic Web Schedule\nor choose from a previously viewed URL address..."},
        {"retrieve",
         "Retrieve a Semantic Web Schedule\nfrom the the address opposite, and\nadd it to the list of "
         "Calendar Schedules..."},
        {"checkAll",
         "Check All Events\nAll the events within the currently selected\nschedule will be imported "
         "into Outlook"},
        {"uncheckAll",
         "Uncheck All Events\nNone of the events within the currently selected\nschedule will be "
         "imported into Outlook"},
        {"import", "Import all checked events to Outlook"},
        {"subscribe", "Import every event of the schedule retrieved last\nand follow it: it is fetched again "
                      "regularly\nand what changed there changes here"},
        {"close", "Press this button to close the dialog..."},
        {"help", "Open the Help Page in a WWW Browser"},
        {"homePage", "Click to visit the Orvante Semantic Web\nCalendar Agent Home Page"},
    };
    for (const auto& tip : tips)
        m_tips->AddTool(findChild<QWidget*>(tip.first), tip.second);
}

void CScheduleBrowserDlg::LoadHistory()
{
    std::vector<std::string> addresses = CScheduleHistory::Load(CRegistry());
    if (addresses.empty())
        addresses = CScheduleHistory::Examples();
    for (const std::string& address : addresses)
        m_address->addItem(QString::fromStdString(address));
    m_address->setEditText("http://");
}

QStringList CScheduleBrowserDlg::Addresses() const
{
    QStringList addresses;
    for (int i = 0; i < m_address->count(); ++i)
        addresses << m_address->itemText(i);
    return addresses;
}

void CScheduleBrowserDlg::RememberAddress(const std::string& address)
{
    std::vector<std::string> addresses;
    for (const QString& entry : Addresses())
        addresses.push_back(entry.toStdString());
    addresses = CScheduleHistory::Remember(std::move(addresses), address);
    const QString typed = m_address->currentText();
    m_address->clear();
    for (const std::string& entry : addresses)
        m_address->addItem(QString::fromStdString(entry));
    m_address->setEditText(typed);
    CRegistry registry;
    CScheduleHistory::Save(registry, addresses);
}

QString CScheduleBrowserDlg::StatusText() const
{
    return m_status->text();
}

void CScheduleBrowserDlg::SetStatus(const QString& text)
{
    m_status->setText(text);
    m_status->repaint();
}

void CScheduleBrowserDlg::AppendStatus(const QString& text)
{
    SetStatus(m_status->text() + text);
}

// The agent goes on serving its sockets meanwhile.
void CScheduleBrowserDlg::Pause(int milliseconds)
{
    int limit = g_pauseLimitMs;
    if (limit < 0) {
        const std::optional<unsigned> fromEnvironment =
            CStartupPause::ParseLimit(std::getenv(CStartupPause::LimitVariable));
        limit = fromEnvironment ? static_cast<int>(std::min(*fromEnvironment, 60000u)) : milliseconds;
    }
    const int length = std::min(milliseconds, limit);
    if (length <= 0)
        return;
    QEventLoop wait;
    QTimer::singleShot(length, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void CScheduleBrowserDlg::OnRetrieve()
{
    const std::string address = m_address->currentText().trimmed().toStdString();
    if (address.empty() || address == "http://") {
        SetStatus("Enter a valid URL of the page containing the desired schedule.");
        return;
    }
    RetrieveWith(address, CDocumentFetcher());
}

void CScheduleBrowserDlg::Retrieve(const std::string& address)
{
    RetrieveWith(address, m_agent.GetScheduleImport().PeerFetcher());
}

void CScheduleBrowserDlg::RetrieveForUser(const std::string& address)
{
    m_address->setEditText(QString::fromStdString(address));
    RetrieveWith(address, CDocumentFetcher());
}

// Every way of closing the dialog comes here: its place is kept for the
// next time.
void CScheduleBrowserDlg::done(int result)
{
    m_layout->SaveGeometry(*this, WindowValue);
    m_layout->SaveState(*m_trees, SplitterValue);
    QDialog::done(result);
}

void CScheduleBrowserDlg::RetrieveWith(const std::string& address, const CDocumentFetcher& fetcher)
{
    // One retrieval at a time: a new one replaces the one running.
    EndRetrieving();
    SetStatus(RetrievingText);
    CEventLoop* loop = CEventLoop::Current();
    if (!loop) {
        // Nothing runs the transfer (a dialog on its own): fetched at once.
        CFetchedDocument document;
        std::string error;
        const bool fetched = fetcher.Fetch(address, document, error);
        Retrieved(address, fetched, document, error);
        return;
    }
    setCursor(Qt::BusyCursor);
    std::unique_ptr<CDocumentFetch> fetch = fetcher.Start(
        address, *loop, [this, address](bool fetched, CFetchedDocument& document, const std::string& error) {
            Retrieved(address, fetched, document, error);
        });
    // Null when the document was read at once, and Retrieved may then have
    // started the next retrieval already.
    if (!fetch)
        return;
    m_fetch = std::move(fetch);
    m_close->setText("Cancel");
    m_progress->start();
}

void CScheduleBrowserDlg::ShowProgress()
{
    if (!m_fetch)
        return;
    const std::size_t bytes = m_fetch->BytesReceived();
    SetStatus(QString(RetrievingText) + (bytes == 0 ? QString("waiting for the server")
                                                    : QString("%1 KB received").arg((bytes + 1023) / 1024)));
}

void CScheduleBrowserDlg::EndRetrieving()
{
    m_progress->stop();
    m_close->setText("Close");
    unsetCursor();
    m_fetch.reset();
}

void CScheduleBrowserDlg::OnCancel()
{
    if (!m_fetch)
        return;
    const std::string address = m_fetch->GetUrl();
    EndRetrieving();
    SetStatus("Retrieval of " + QString::fromStdString(address) + " cancelled.");
}

void CScheduleBrowserDlg::OnCloseOrCancel()
{
    if (m_fetch)
        OnCancel();
    else
        reject();
}

void CScheduleBrowserDlg::Retrieved(const std::string& address, bool fetched,
                                    const CFetchedDocument& document, const std::string& error)
{
    // Kept until this returns: the document may still be its own.
    const std::unique_ptr<CDocumentFetch> ended = std::move(m_fetch);
    EndRetrieving();
    CRDFMFCGraphStore& store = m_model.GetGraphStore();
    CRDFMFCGraph* graph =
        fetched ? store.LoadGraphFromText(address, document.text, document.contentType) : nullptr;
    if (!graph) {
        SetStatus(QString::fromStdString(fetched ? store.GetErrorMsg() : error));
        return;
    }
    ShowSchedules(address, graph);
}

void CScheduleBrowserDlg::ShowSchedules(const std::string& address, CRDFMFCGraph* graph)
{
    CRDFMFCGraphStore& store = m_model.GetGraphStore();
    SetStatus(QString(RetrievingText) + "done.");
    Pause(300);
    SetStatus("Searching for schedules... ");
    Pause(300);
    if (graph->get_graph()->get_Node(vocabulary::VCalendarClass, 0) ||
        graph->get_graph()->get_Node(vocabulary::IcalCalendarClass, 0)) {
        AppendStatus("found 'em!");
        Pause(300);
        SetStatus("Retrieving events...");
        Pause(300);
        m_model.AppendCalendarsOf(*graph, address);
        m_retrieved = address;
        AppendStatus("done.");
        Pause(300);
        FillScheduleTree();
        RememberAddress(address);
        if (!m_treeTipAdded) {
            const char* text =
                "A menu of context-based\ntasks can be viewed by\nselecting a schedule or\nevent and "
                "right-clicking\nthe mouse button";
            m_tips->AddTool(m_schedules, text);
            m_tips->AddTool(m_events, text);
            m_treeTipAdded = true;
        }
        return;
    }
    const bool agenda = graph->get_graph()->get_Node(vocabulary::AgendaMeetingClass, 0) != nullptr;
    store.DeleteGraph(graph);
    if (!agenda || !TranslateAgenda(address))
        SetStatus(agenda
                      ? "DAML Meeting Agenda Markup found, but no translation service is set (registry value "
                        "TranslationServiceURL)."
                      : "No Schedule was recognised within this page.  Try another URL...");
}

// An agenda is retrieved again through the translation service, which
// makes a schedule of it; false when no service is set.
bool CScheduleBrowserDlg::TranslateAgenda(const std::string& address)
{
    std::string service;
    if (CRegistry().ReadValueUnbounded(AgentKey, TranslationServiceValue, service) != CRegistry::Ok ||
        service.empty())
        return false;
    while (!service.empty() && service.back() == '/')
        service.pop_back();
    const std::string translated = service + "/cgi-bin/DMA2ICal.sh?" + address;
    // A service answering with an agenda again would never end.
    if (address.rfind(service, 0) == 0)
        return false;
    SetStatus("DAML Meeting Agenda Markup found - Invoking Translation Service...");
    Pause(1200);
    RetrieveWith(translated, CDocumentFetcher());
    return true;
}

void CScheduleBrowserDlg::OnCheckAll(bool checked)
{
    for (int i = 0; i < m_events->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_events->topLevelItem(i);
        CRDFVevent* event = ObjectOf<CRDFVevent>(item);
        event->setUpdateStatus(checked ? EVENT_SELECTED : EVENT_NOT_SELECTED);
        ShowStatus(item, event->getUpdateStatus());
    }
}

void CScheduleBrowserDlg::OnImport()
{
    if (m_subscribe->isChecked()) {
        if (m_retrieved.empty() || !CScheduleSubscriptions::IsSubscribable(m_retrieved)) {
            SetStatus(m_retrieved.empty()
                          ? "Retrieve a schedule to subscribe to first."
                          : "Only http://, https:// and webcal:// schedules can be subscribed to.");
            return;
        }
        m_subscriptionAddress = m_retrieved;
        accept();
        return;
    }
    m_model.BuildAppointmentList();
    accept();
}

// --- the trees ----------------------------------------------------------------------

void CScheduleBrowserDlg::ShowStatus(QTreeWidgetItem* item, int status)
{
    const bool togglable = status == EVENT_NOT_SELECTED || status == EVENT_SELECTED;
    item->setFlags(togglable ? item->flags() | Qt::ItemIsUserCheckable
                             : item->flags() & ~Qt::ItemIsUserCheckable);
    if (status == EVENT_STATUS_NONE)
        item->setData(0, Qt::CheckStateRole, QVariant());
    else
        item->setCheckState(0, status == EVENT_SELECTED       ? Qt::Checked
                               : status == EVENT_NOT_SELECTED ? Qt::Unchecked
                                                              : Qt::PartiallyChecked);
}

void CScheduleBrowserDlg::FillScheduleTree()
{
    m_filling = true;
    m_schedules->clear();
    for (const std::unique_ptr<CRDFVCalendar>& calendar : m_model.GetCalendars()) {
        QTreeWidgetItem* item = NewItem(calendar->getTitleDescription(), CalendarItem, calendar.get());
        m_schedules->addTopLevelItem(item);
        ShowStatus(item, calendar->getUpdateStatus());
    }
    m_filling = false;
    if (m_schedules->topLevelItemCount() > 0) {
        m_schedules->setCurrentItem(m_schedules->topLevelItem(0));
        m_schedules->scrollToItem(m_schedules->topLevelItem(0));
    }
}

void CScheduleBrowserDlg::FillEventTree(CRDFVCalendar* calendar)
{
    m_filling = true;
    m_events->clear();
    if (calendar) {
        for (CRDFVevent& event : calendar->getEventListPtr()) {
            QTreeWidgetItem* item = NewItem(event.getDescription(), EventItem, &event);
            m_events->addTopLevelItem(item);
            ShowStatus(item, event.getUpdateStatus());
            const std::string elsewhere = event.getStartDate().ZoneNote();
            item->addChild(NewItem(event.getStartString() + (elsewhere.empty() ? "" : " (" + elsewhere + ")"),
                                   DetailItem, nullptr));
            const long minutes = CRDFCalendar::WholeMinutes(event.getDurationPtr()->GetTotalDays());
            item->addChild(NewItem(DurationText(minutes), DetailItem, nullptr));
            if (!event.getLocationString().empty())
                item->addChild(NewItem(event.getLocationString(), LocationItem, event.getLocationPtr()));
            for (const CRDFPerson& person : event.getAttendeeListPtr())
                item->addChild(NewItem(person.getPersonString(), PersonItem, &person));
        }
    }
    m_filling = false;
}

void CScheduleBrowserDlg::OnItemChanged(QTreeWidgetItem* item)
{
    if (m_filling || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const auto status = item->checkState(0) == Qt::Checked ? EVENT_SELECTED : EVENT_NOT_SELECTED;
    const int kind = item->data(0, KindRole).toInt();
    if (kind == CalendarItem)
        ObjectOf<CRDFVCalendar>(item)->setUpdateStatus(status);
    else if (kind == EventItem)
        ObjectOf<CRDFVevent>(item)->setUpdateStatus(status);
}

std::string CScheduleBrowserDlg::DurationText(long minutes)
{
    char text[96];
    if (minutes < 60) {
        std::snprintf(text, sizeof text, "%ld minutes", minutes);
    } else if (minutes < 1440) {
        const long hours = minutes / 60;
        std::snprintf(text, sizeof text, "%ld hour%s & %2ld minutes", hours, hours == 1 ? "" : "s",
                      minutes % 60);
    } else {
        const long days = minutes / 1440;
        const long hours = minutes % 1440 / 60;
        std::snprintf(text, sizeof text, "%ld day%s, %ld hour%s & %2ld minutes", days, days == 1 ? "" : "s",
                      hours, hours == 1 ? "" : "s", minutes % 60);
    }
    return text;
}
