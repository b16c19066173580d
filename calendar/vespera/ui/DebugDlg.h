#pragma once

#include <vespera/core/TrafficTrace.h>

#include <QDialog>

#include <functional>
#include <string>

class CAppointmentListView;
class CParserTree;
class CVespera;
class QLineEdit;
class QListWidget;

// The debug window: the messages the agent receives and sends, each a line
// and, when selected, a tree of its parts, and the appointment store in
// full. It can ask another agent to open a schedule. Its close button asks
// the main window (through `onClose`) to end it and switch debug mode off.
class CDebugDlg : public QDialog, public CTrafficTrace {
    Q_OBJECT
public:
    static constexpr const char* HelpMessage =
        "No help is available for the Debug Window at present.\nPlease ask the ORVANTE project's developers "
        "about the agent's traffic.";

    CDebugDlg(CVespera& agent, std::function<void()> onClose, QWidget* parent = nullptr);

    void TraceIncoming(const std::string& text) override;
    void TraceOutgoing(const std::string& performative, const std::string& receiver,
                       const std::string& content) override;
    void RefreshAppointments();
    // Sends the auto-browse test to the agent named in the edit field.
    void OnAutoBrowseTest();

    // The line an outgoing message is shown as.
    static std::string OutgoingLine(const std::string& performative, const std::string& receiver,
                                    const std::string& content);

    QListWidget* IncomingList() const { return m_incoming; }
    QListWidget* OutgoingList() const { return m_outgoing; }
    CParserTree* IncomingTree() const { return m_incomingTree; }
    CParserTree* OutgoingTree() const { return m_outgoingTree; }
    CAppointmentListView* Appointments() const { return m_appointments; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Trace(QListWidget* list, CParserTree* tree, const std::string& line);
    static void ShowInTree(CParserTree* tree, const QString& text);
    static void Clear(QListWidget* list, CParserTree* tree);
    QWidget* Monitor(const char* title, QListWidget*& list, CParserTree*& tree, const char* name);

    CVespera& m_agent;
    std::function<void()> m_onClose;
    QListWidget* m_outgoing = nullptr;
    QListWidget* m_incoming = nullptr;
    CParserTree* m_outgoingTree = nullptr;
    CParserTree* m_incomingTree = nullptr;
    CAppointmentListView* m_appointments = nullptr;
    QLineEdit* m_testAgent = nullptr;
};
