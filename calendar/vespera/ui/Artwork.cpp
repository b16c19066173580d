#include <vespera/ui/Artwork.h>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor Ink(0x1f, 0x3a, 0x5f);
const QColor Accent(0xd9, 0x48, 0x3b);

// A calendar page with two rings and a tick: the agent keeps the calendar.
void DrawCalendarPage(QPainter& painter, const QRectF& box)
{
    const qreal unit = box.width() / 16.0;
    const QRectF page = box.adjusted(unit, 2 * unit, -unit, -unit);
    painter.setPen(QPen(Ink, unit * 0.8));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(page, unit, unit);
    painter.setBrush(Accent);
    painter.drawRect(QRectF(page.left(), page.top(), page.width(), page.height() * 0.28));
    painter.setBrush(Ink);
    for (qreal x : {page.left() + page.width() * 0.28, page.right() - page.width() * 0.28})
        painter.drawRoundedRect(QRectF(x - unit * 0.6, box.top() + unit, unit * 1.2, unit * 3), unit * 0.5,
                                unit * 0.5);
    QPainterPath tick;
    tick.moveTo(page.left() + page.width() * 0.25, page.top() + page.height() * 0.62);
    tick.lineTo(page.left() + page.width() * 0.45, page.top() + page.height() * 0.82);
    tick.lineTo(page.left() + page.width() * 0.78, page.top() + page.height() * 0.42);
    painter.setPen(QPen(Accent, unit * 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
}

QPixmap IconPixmap(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawCalendarPage(painter, QRectF(0, 0, side, side));
    return pixmap;
}

} // namespace

namespace Artwork {

QIcon AgentIcon()
{
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64})
        icon.addPixmap(IconPixmap(side));
    return icon;
}

QPixmap StartupPicture()
{
    QPixmap pixmap(360, 140);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 140);
    sky.setColorAt(0, QColor(0xee, 0xf3, 0xfa));
    sky.setColorAt(1, QColor(0xc9, 0xd8, 0xec));
    painter.fillRect(pixmap.rect(), sky);
    DrawCalendarPage(painter, QRectF(16, 14, 112, 112));
    painter.setPen(Ink);
    QFont title = painter.font();
    title.setPointSize(18);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRectF(140, 30, 210, 40), Qt::AlignLeft | Qt::AlignVCenter, "ORVANTE");
    QFont subtitle = painter.font();
    subtitle.setPointSize(10);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.drawText(QRectF(140, 70, 210, 50), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     "Semantic Web Calendar Agent");
    return pixmap;
}

QPixmap HelpPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Ink, 2));
    painter.setBrush(QColor(0xfd, 0xf6, 0xd8));
    painter.drawEllipse(QRectF(2, 2, 28, 28));
    QFont mark = painter.font();
    mark.setPixelSize(20);
    mark.setBold(true);
    painter.setFont(mark);
    painter.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, "?");
    return pixmap;
}

} // namespace Artwork
