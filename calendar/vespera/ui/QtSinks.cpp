#include <vespera/ui/QtSinks.h>

#include <vespera/ui/Artwork.h>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QMessageBox::Icon IconOf(unsigned type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    std::vector<std::pair<QMessageBox::StandardButton, int>> results;
};

ButtonSet ButtonsOf(unsigned type)
{
    using B = QMessageBox;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {B::Ok | B::Cancel, {{B::Ok, IDOK}, {B::Cancel, IDCANCEL}}};
    case MB_ABORTRETRYIGNORE:
        return {B::Abort | B::Retry | B::Ignore,
                {{B::Abort, IDABORT}, {B::Retry, IDRETRY}, {B::Ignore, IDIGNORE}}};
    case MB_YESNOCANCEL:
        return {B::Yes | B::No | B::Cancel, {{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}}};
    case MB_YESNO:
        return {B::Yes | B::No, {{B::Yes, IDYES}, {B::No, IDNO}}};
    case MB_RETRYCANCEL:
        return {B::Retry | B::Cancel, {{B::Retry, IDRETRY}, {B::Cancel, IDCANCEL}}};
    default:
        return {B::Ok, {{B::Ok, IDOK}}};
    }
}

} // namespace

CQtMessageBoxSink::CQtMessageBoxSink(LogHook log) : m_log(std::move(log)) {}

void CQtMessageBoxSink::Beep()
{
    QApplication::beep();
}

int CQtMessageBoxSink::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    if (m_log)
        m_log(CMessageBoxSink::CHeadless::FormatLine(text, caption, type));
    const ButtonSet set = ButtonsOf(type);
    QMessageBox box(IconOf(type), QString::fromStdString(caption.empty() ? "vespera" : caption),
                    QString::fromStdString(text), set.buttons, QApplication::activeWindow());
    const int wanted = DefaultButton(type);
    for (const auto& entry : set.results) {
        if (entry.second == wanted)
            box.setDefaultButton(entry.first);
    }
    const auto chosen = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& entry : set.results) {
        if (entry.first == chosen)
            return entry.second;
    }
    // Closed with the window's close button or Escape.
    return set.results.size() > 1 ? IDCANCEL : IDOK;
}

CStartupProgressWindow::CStartupProgressWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle("Starting ORVANTE Calendar Agent");
    auto* picture = new QLabel;
    picture->setPixmap(Artwork::StartupPicture());
    m_text = new QLabel;
    m_text->setObjectName("progressText");
    m_text->setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(m_text);
}

void CStartupProgressWindow::Open()
{
    adjustSize();
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    QApplication::processEvents();
}

void CStartupProgressWindow::Show(const std::string& text)
{
    m_text->setText(QString::fromStdString(text));
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void CStartupProgressWindow::Close()
{
    hide();
}

QDateTime CQtUserTimeFormat::ToQt(const CDateTime& at)
{
    CDateTime::Fields fields{};
    if (!at.GetFields(fields))
        return QDateTime();
    return QDateTime(QDate(fields.year, fields.month, fields.day),
                     QTime(fields.hour, fields.minute, fields.second));
}

QString CQtUserTimeFormat::DateTimeText(const QDateTime& at)
{
    return QLocale().toString(at, DateTimeFormat());
}

QString CQtUserTimeFormat::DateFormat()
{
    return QLocale().dateFormat(QLocale::ShortFormat);
}

QString CQtUserTimeFormat::TimeFormat()
{
    return QLocale().timeFormat(QLocale::ShortFormat);
}

QString CQtUserTimeFormat::DateTimeFormat()
{
    return DateFormat() + " " + TimeFormat();
}

std::string CQtUserTimeFormat::FormatDateTime(const CDateTime& at) const
{
    const QDateTime shown = ToQt(at);
    return shown.isValid() ? DateTimeText(shown).toStdString() : at.Format();
}

std::string CQtUserTimeFormat::FormatDate(const CDateTime& at) const
{
    const QDateTime shown = ToQt(at);
    return shown.isValid() ? QLocale().toString(shown.date(), DateFormat()).toStdString() : at.Format();
}

std::string CQtUserTimeFormat::FormatTime(const CDateTime& at) const
{
    const QDateTime shown = ToQt(at);
    return shown.isValid() ? QLocale().toString(shown.time(), TimeFormat()).toStdString() : at.Format();
}

std::string CQtUserTimeFormat::FormatDay(const CDateTime& at) const
{
    const QDateTime shown = ToQt(at);
    return shown.isValid() ? QLocale().toString(shown.date(), "ddd d MMM").toStdString() : at.Format();
}
