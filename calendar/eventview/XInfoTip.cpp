#include <eventview/XInfoTip.h>

#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace {

constexpr int MarginX = 12;
constexpr int MarginY = 10;
constexpr int IconGap = 5;
constexpr int IconSide = 16;

} // namespace

CXInfoTip::CXInfoTip() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &CXInfoTip::OnShowTimer);
    connect(&m_hideTimer, &QTimer::timeout, this, &CXInfoTip::OnHideCheck);
}

CXInfoTip::~CXInfoTip()
{
    for (auto& entry : m_tools)
        WatchTree(entry.first, false);
}

void CXInfoTip::Create(QWidget* parent)
{
    if (parent)
        setParent(parent->window(), windowFlags());
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    hide();
}

void CXInfoTip::AddTool(QWidget* control, const QString& text, const QIcon& icon)
{
    if (!control)
        return;
    if (!m_tools.count(control)) {
        WatchTree(control, true);
        connect(control, &QObject::destroyed, this, [this, control] { m_tools.erase(control); });
    }
    m_tools[control] = Tool{text, icon};
}

void CXInfoTip::RemoveTool(QWidget* control)
{
    if (m_tools.erase(control))
        WatchTree(control, false);
}

bool CXInfoTip::HasTool(QWidget* control) const
{
    return m_tools.count(control) > 0;
}

QString CXInfoTip::ToolText(QWidget* control) const
{
    auto it = m_tools.find(control);
    return it == m_tools.end() ? QString() : it->second.text;
}

// Mouse moves reach a control's children (a list's viewport, say), not the
// control: the whole tree is watched.
void CXInfoTip::WatchTree(QWidget* control, bool watch)
{
    QList<QWidget*> widgets = control->findChildren<QWidget*>();
    widgets.prepend(control);
    for (QWidget* widget : widgets) {
        if (watch) {
            widget->setMouseTracking(true);
            widget->installEventFilter(this);
        } else {
            widget->removeEventFilter(this);
        }
    }
}

QWidget* CXInfoTip::ToolOf(QObject* object) const
{
    for (QObject* o = object; o; o = o->parent()) {
        auto* widget = qobject_cast<QWidget*>(o);
        if (widget && m_tools.count(widget))
            return widget;
    }
    return nullptr;
}

void CXInfoTip::SetRelayEnabled(bool enabled)
{
    m_relay = enabled;
    if (!enabled)
        Hide();
}

bool CXInfoTip::eventFilter(QObject* watched, QEvent* event)
{
    if (m_relay) {
        if (QWidget* tool = ToolOf(watched))
            RelayEvent(tool, event);
    }
    return QWidget::eventFilter(watched, event);
}

void CXInfoTip::RelayEvent(QWidget* control, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (at == m_anchor)
            return;
        Hide();
        auto it = m_tools.find(control);
        if (it == m_tools.end())
            return;
        m_anchor = at;
        SetIcon(it->second.icon);
        Show(it->second.text, &at);
        return;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        Hide();
        return;
    default:
        return;
    }
}

void CXInfoTip::Show(const QString& text, const QPoint* at)
{
    m_anchor = at ? *at : QCursor::pos();
    m_text = text;
    m_showTimer.start(m_showDelayMs);
}

void CXInfoTip::Hide()
{
    m_showTimer.stop();
    m_hideTimer.stop();
    hide();
}

void CXInfoTip::SetIcon(const QIcon& icon)
{
    m_icon = icon;
}

void CXInfoTip::SetShowDelay(int milliseconds)
{
    m_showDelayMs = milliseconds < 0 ? 0 : milliseconds;
}

// The icon's own size: the largest it comes in, or a small icon's.
QSize CXInfoTip::IconSize() const
{
    if (m_icon.isNull())
        return QSize();
    QSize largest;
    for (const QSize& size : m_icon.availableSizes()) {
        if (size.height() > largest.height())
            largest = size;
    }
    return largest.isValid() ? largest : QSize(IconSide, IconSide);
}

QSize CXInfoTip::BodySize(const QString& text, const QFont& font, const QSize& iconSize)
{
    const QRect box =
        QFontMetrics(font).boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignTop, text);
    int width = box.width() + 2 * MarginX;
    int height = box.height() + 2 * MarginY;
    if (iconSize.isValid() && !iconSize.isEmpty()) {
        width += iconSize.width() + IconGap;
        height = std::max(height, iconSize.height());
    }
    return QSize(width, height);
}

QSize CXInfoTip::WindowSize() const
{
    const QSize body = BodySize(m_text, font(), IconSize());
    return QSize(body.width(), body.height() + PointerHeight);
}

QPainterPath CXInfoTip::BalloonPath() const
{
    const QSize body = BodySize(m_text, font(), IconSize());
    const int w = body.width();
    const int h = body.height();
    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(0, 0, w, h), 6, 5);
    QPainterPath pointer;
    pointer.moveTo(w - MarginX, h - MarginY);
    pointer.lineTo(w - MarginX, h + 15);
    pointer.lineTo(w - 37, h - MarginY);
    pointer.closeSubpath();
    return balloon.united(pointer);
}

void CXInfoTip::OnShowTimer()
{
    const QSize size = WindowSize();
    resize(size);
    setMask(QRegion(BalloonPath().toFillPolygon().toPolygon()));
    move(m_anchor.x() - size.width() + MarginX, m_anchor.y() - size.height() + MarginY);
    show();
    raise();
    m_hideTimer.start(HideCheckMs);
}

void CXInfoTip::OnHideCheck()
{
    if (QCursor::pos() != m_anchor)
        Hide();
}

void CXInfoTip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = BalloonPath();
    painter.fillPath(path, palette().color(QPalette::ToolTipBase));
    painter.setPen(QPen(palette().color(QPalette::Mid), 3));
    painter.drawPath(path);
    painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
    painter.drawPath(path);
    int textLeft = MarginX;
    if (!m_icon.isNull()) {
        painter.drawPixmap(MarginX, MarginY, m_icon.pixmap(IconSize()));
        textLeft = MarginX + IconGap + IconSize().width();
    }
    const QSize body = BodySize(m_text, font(), IconSize());
    painter.drawText(QRect(textLeft, MarginY, body.width() - textLeft, body.height() - MarginY),
                     Qt::AlignLeft | Qt::AlignTop, m_text);
}
