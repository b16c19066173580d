#pragma once

#include <QMenu>
#include <QString>

// A pop-up menu whose first line is a bold title on the caption colour,
// naming what the menu acts on (a tree's context menu, say).
class CTitleMenu : public QMenu {
    Q_OBJECT
public:
    explicit CTitleMenu(QWidget* parent = nullptr);

    // Inserts the title at the top as a disabled line with no command.
    void AddMenuTitle(const QString& title);
    const QString& GetTitle() const { return m_title; }

    // The bold face of the menu's font.
    static QFont CreatePopupMenuTitleFont(const QFont& menuFont);
    // The title line: the text's width in the bold font, the check-mark
    // column and 10 more; the text's height and 2 more.
    static QSize MeasureItem(const QString& title, const QFont& menuFont, int checkMarkWidth);

private:
    QString m_title;
};
