// The main window's layout: where the user left it, its splitter and the
// widths of the day list's columns, kept from one start to the next.

#include <vespera/ui/VesperaDlg.h>

#include <vespera/core/AgentSettings.h>

#include <eventview/WindowMemory.h>

#include <platform/Registry.h>

#include <QHeaderView>
#include <QHideEvent>
#include <QSplitter>
#include <QTreeWidget>

namespace {

// The names the window's layout is kept under.
constexpr const char* WindowValue = "MainWindow";
constexpr const char* SplitterValue = "MainSplitter";
constexpr const char* ColumnsValue = "MainColumns";

} // namespace

void CVesperaDlg::RestoreLayout()
{
    m_layout = std::make_unique<CWindowMemory>(CRegistry(), CAgentSettings::WindowLayoutKey);
    m_layout->RestoreGeometry(*this, WindowValue);
    m_layout->RestoreState(*m_splitter, SplitterValue);
    m_columnsChosen = m_layout->RestoreState(*m_appointments->header(), ColumnsValue);
}

void CVesperaDlg::SaveLayout()
{
    m_layout->SaveGeometry(*this, WindowValue);
    m_layout->SaveState(*m_splitter, SplitterValue);
    if (m_columnsChosen)
        m_layout->SaveState(*m_appointments->header(), ColumnsValue);
}

void CVesperaDlg::FitColumns()
{
    if (m_columnsChosen)
        return;
    m_fittingColumns = true;
    for (int column = 0; column < m_appointments->columnCount(); ++column) {
        if (column != SubjectColumn)
            m_appointments->resizeColumnToContents(column);
    }
    m_fittingColumns = false;
}

// Hidden into the notification area or closed: the next start shows the
// window where it was.
void CVesperaDlg::hideEvent(QHideEvent* event)
{
    SaveLayout();
    QDialog::hideEvent(event);
}
