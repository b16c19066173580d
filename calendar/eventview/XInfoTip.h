#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <map>

// A balloon-shaped tool tip with an optional icon, shown after a delay while
// the mouse rests over one of the controls registered with AddTool, and
// hidden as soon as the mouse moves on or a button is pressed.
//
// The owner decides whether tips are shown at all: mouse events of the
// registered controls reach RelayEvent only while SetRelayEnabled(true).
class CXInfoTip : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultShowDelayMs = 500;
    // How often a shown tip checks whether the cursor is still at its anchor.
    static constexpr int HideCheckMs = 500;
    // The pointer below the body.
    static constexpr int PointerHeight = 25;

    CXInfoTip();
    ~CXInfoTip() override;

    // Makes the tip a hidden pop-up owned by `parent`'s window, in the
    // desktop's default GUI font.
    void Create(QWidget* parent);

    void AddTool(QWidget* control, const QString& text, const QIcon& icon = QIcon());
    void RemoveTool(QWidget* control);
    bool HasTool(QWidget* control) const;
    QString ToolText(QWidget* control) const;

    void SetRelayEnabled(bool enabled);
    bool IsRelayEnabled() const { return m_relay; }
    // A mouse event of a registered control (or of a child of one).
    void RelayEvent(QWidget* control, QEvent* event);

    // Shows `text` at `at` (the cursor when null) after the show delay.
    void Show(const QString& text, const QPoint* at = nullptr);
    void Hide();
    void SetIcon(const QIcon& icon);
    void SetShowDelay(int milliseconds);
    int GetShowDelay() const { return m_showDelayMs; }
    const QString& GetText() const { return m_text; }
    const QPoint& GetAnchor() const { return m_anchor; }

    // The body (without the pointer) for a text, font and icon size: the
    // text's bounding box grown by 12 on the left and right and 10 above and
    // below, widened by the icon and 5 more with an icon and made at least
    // as tall as the icon.
    static QSize BodySize(const QString& text, const QFont& font, const QSize& iconSize);
    // The whole window: the body and the pointer below it.
    QSize WindowSize() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Tool {
        QString text;
        QIcon icon;
    };

    void OnShowTimer();
    void OnHideCheck();
    QWidget* ToolOf(QObject* object) const;
    QSize IconSize() const;
    QPainterPath BalloonPath() const;
    void WatchTree(QWidget* control, bool watch);

    std::map<QWidget*, Tool> m_tools;
    QTimer m_showTimer;
    QTimer m_hideTimer;
    QPoint m_anchor{-1, -1};
    QString m_text;
    QIcon m_icon;
    int m_showDelayMs = DefaultShowDelayMs;
    bool m_relay = true;
};
