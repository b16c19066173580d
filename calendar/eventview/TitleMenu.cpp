#include <eventview/TitleMenu.h>

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QWidgetAction>

namespace {

// The owner-drawn title line.
class CTitleItem : public QWidget {
public:
    CTitleItem(const QString& title, QMenu* menu) : QWidget(menu), m_title(title)
    {
        m_checkMarkWidth = menu->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, menu);
        setFont(CTitleMenu::CreatePopupMenuTitleFont(menu->font()));
    }

    QSize sizeHint() const override
    {
        return CTitleMenu::MeasureItem(m_title, parentWidget()->font(), m_checkMarkWidth);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = rect();
        painter.fillRect(area, palette().color(QPalette::Inactive, QPalette::Highlight));
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(area.topLeft(), area.topRight());
        painter.drawLine(area.topLeft(), area.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(area.bottomLeft(), area.bottomRight());
        painter.drawLine(area.topRight(), area.bottomRight());
        painter.setPen(palette().color(QPalette::Inactive, QPalette::HighlightedText));
        painter.drawText(area.adjusted(m_checkMarkWidth + 8, 0, 0, 0), Qt::AlignVCenter | Qt::TextSingleLine,
                         m_title);
    }

private:
    QString m_title;
    int m_checkMarkWidth = 0;
};

} // namespace

CTitleMenu::CTitleMenu(QWidget* parent) : QMenu(parent) {}

void CTitleMenu::AddMenuTitle(const QString& title)
{
    m_title = title;
    auto* action = new QWidgetAction(this);
    action->setDefaultWidget(new CTitleItem(title, this));
    action->setEnabled(false);
    insertAction(actions().isEmpty() ? nullptr : actions().first(), action);
}

QFont CTitleMenu::CreatePopupMenuTitleFont(const QFont& menuFont)
{
    QFont font = menuFont;
    font.setWeight(QFont::Bold);
    return font;
}

QSize CTitleMenu::MeasureItem(const QString& title, const QFont& menuFont, int checkMarkWidth)
{
    const QFontMetrics metrics(CreatePopupMenuTitleFont(menuFont));
    return QSize(metrics.horizontalAdvance(title) + checkMarkWidth + 10, metrics.height() + 2);
}
