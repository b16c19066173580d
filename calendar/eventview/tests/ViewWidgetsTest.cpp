#include <eventview/TitleMenu.h>
#include <eventview/XInfoTip.h>
#include <eventview/testing/QtTestApplication.h>

#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QIcon IconOfSide(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

TEST(XInfoTip, BodyHoldsTheTextWithMarginsAndTheIcon)
{
    testsupport::QtTestApplication();
    const QFont font;
    const QSize plain = CXInfoTip::BodySize("One line", font, QSize());
    const QSize withIcon = CXInfoTip::BodySize("One line", font, QSize(32, 32));
    EXPECT_EQ(withIcon.width(), plain.width() + 32 + 5);
    EXPECT_GE(withIcon.height(), 32);
    EXPECT_GT(CXInfoTip::BodySize("One line\nand another", font, QSize()).height(), plain.height());
}

void Move(QWidget& target, const QPoint& at)
{
    QMouseEvent event(QEvent::MouseMove, at, target.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

TEST(XInfoTip, ShowsAfterTheDelayOnlyForANewPointAndHidesOnAPress)
{
    testsupport::QtTestApplication();
    QWidget owner;
    QPushButton button("Go", &owner);
    owner.show();
    CXInfoTip tip;
    tip.Create(&owner);
    tip.SetShowDelay(10);
    tip.AddTool(&button, "Press to go.", IconOfSide(32));

    Move(button, QPoint(3, 3));
    EXPECT_EQ(tip.GetText(), "Press to go.");
    EXPECT_FALSE(tip.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(tip.isVisible(), 5000);
    EXPECT_GE(tip.height(), 32 + CXInfoTip::PointerHeight);

    Move(button, QPoint(3, 3));
    EXPECT_TRUE(tip.isVisible()) << "a move to the anchor itself re-shows nothing";
    QMouseEvent press(QEvent::MouseButtonPress, QPoint(3, 3), button.mapToGlobal(QPoint(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &press);
    EXPECT_FALSE(tip.isVisible());

    tip.SetRelayEnabled(false);
    Move(button, QPoint(5, 5));
    QTest::qWait(30);
    EXPECT_FALSE(tip.isVisible()) << "without relaying no tip is shown";
}

TEST(TitleMenu, TitleIsTheFirstDisabledLine)
{
    testsupport::QtTestApplication();
    CTitleMenu menu;
    menu.addAction("E-mail");
    menu.AddMenuTitle("Alice Example");
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_FALSE(menu.actions().first()->isEnabled());
    EXPECT_EQ(menu.GetTitle(), "Alice Example");
    const QSize size = CTitleMenu::MeasureItem("Alice Example", menu.font(), 13);
    EXPECT_EQ(size.height(), QFontMetrics(CTitleMenu::CreatePopupMenuTitleFont(menu.font())).height() + 2);
}

} // namespace
