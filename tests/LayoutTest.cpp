#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "app/framework/DialogFont.h"
#include "app/framework/DialogUnits.h"
#include "news/CNewsDlg.h"
#include "ui/CAboutDlg.h"
#include "ui/CHelpDlg.h"
#include "ui/TextPane.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

// These tests also run with QT_SCALE_FACTOR=2 (see CMakeLists.txt): every
// size on screen is then twice as large, in device pixels.

namespace {

qreal expectedScale()
{
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    return factor.isEmpty() ? 1.0 : factor.toDouble();
}

// The size on screen, in device pixels.
QSize onScreen(const QWidget* widget)
{
    return widget->size() * widget->devicePixelRatioF();
}

// Whether a button's text fits inside the button's frame.
bool textFits(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QString text = button->text().remove(QLatin1Char('&'));
    return QFontMetrics(button->font()).horizontalAdvance(text) <= room.width();
}

} // namespace

TEST(DialogUnitsTest, TemplateUnitsAreSixByThirteenPixelsAt96Dpi)
{
    const DialogUnits at96(96, 96);
    EXPECT_EQ(at96.size(424, 249), QSize(636, 405)); // the main window's client area
    EXPECT_EQ(at96.size(42, 15), QSize(63, 25));     // its buttons
    EXPECT_EQ(at96.rect(191, 117, 42, 15), QRect(287, 190, 63, 25));
    EXPECT_EQ(at96.pixelsX(35), 35);

    // A screen of twice the logical dpi doubles everything.
    const DialogUnits at192(192, 192);
    EXPECT_EQ(at192.size(424, 249), QSize(1272, 810));
    EXPECT_EQ(at192.size(42, 15), QSize(126, 50));
    EXPECT_EQ(at192.pixelsX(35), 70);
    EXPECT_EQ(at192.pixelsY(15), 30);
}

TEST(DialogFontTest, WithoutLiberationSansTheSystemFontIsUsedAtEightPoints)
{
    QFont system(QStringLiteral("DejaVu Sans"), 10);
    const QFont font = DialogFont::create(system, {QStringLiteral("DejaVu Sans")});
    EXPECT_EQ(font.family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(font.pointSize(), 8);
}

TEST(DialogFontTest, LiberationSansAtEightPointsFitsTheUnits)
{
    const QFont font = QApplication::font();
    EXPECT_EQ(font.pointSize(), DialogFont::kPointSize);
    if (!QFontDatabase::families().contains(QLatin1String(DialogFont::kFamily)))
        GTEST_SKIP() << DialogFont::kFamily << " is not installed (fonts-liberation2)";
    EXPECT_EQ(font.family(), QLatin1String(DialogFont::kFamily));
    // The average letter, counted as dialog base units are, at 96 dpi.
    QFont at96 = font;
    at96.setPixelSize(qRound(DialogFont::kPointSize * 96.0 / 72.0));
    const int letters = QFontMetrics(at96).horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_LE((letters / 26 + 1) / 2, DialogUnits::kBaseWidth);
}

TEST(WindowPlacementTest, CentresTheFrameOrPutsItTopLeftWhenTooLarge)
{
    const QRect area(0, 30, 1280, 870); // a panel of 30 pixels at the top
    EXPECT_EQ(WindowPlacement::centred(QSize(638, 448), area), QRect(321, 241, 638, 448));
    // An odd difference leaves the extra pixel on the right and below.
    EXPECT_EQ(WindowPlacement::centred(QSize(639, 449), area).topLeft(), QPoint(320, 240));
    // Too wide: cut to the area's width, still centred vertically.
    EXPECT_EQ(WindowPlacement::centred(QSize(1300, 400), area), QRect(0, 265, 1280, 400));
    // Too large both ways: the whole area.
    EXPECT_EQ(WindowPlacement::centred(QSize(2000, 1000), area), area);
}

using MainWindowLayoutTest = WindowFixture;

TEST_F(MainWindowLayoutTest, OpensAtTheTemplateSizeWithButtonsBetweenThePanes)
{
    const qreal scale = expectedScale();
    for (int id : {IDC_LOAD, IDC_CONVERT, IDC_SAVE}) {
        EXPECT_EQ(onScreen(dlg->GetDlgItem<QPushButton>(id)), QSize(63, 25) * scale);
        EXPECT_TRUE(textFits(dlg->GetDlgItem<QPushButton>(id)))
            << dlg->GetDlgItem<QPushButton>(id)->text().toStdString();
    }
    // The panes are drawn in the dialogs' font as well.
    for (int id : {IDC_SOURCE_TEXT, IDC_RESULT_TEXT}) {
        const QFontInfo pane(dlg->GetDlgItem<TextPane>(id)->font());
        EXPECT_EQ(pane.family(), QFontInfo(QApplication::font()).family());
        EXPECT_EQ(pane.pointSize(), DialogFont::kPointSize);
    }
    // The window is cut down to a screen too small for it (the offscreen
    // screen is 800 x 600 pixels), and never reaches past it.
    const QRect area = dlg->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(dlg->frameGeometry()));
    if (area.height() < 405 + dlg->menuBar()->height())
        return;
    EXPECT_EQ(onScreen(dlg->clientArea()), QSize(636, 405) * scale);
    // Centred between the panes: x = 318 - 31.
    EXPECT_EQ(dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->x(), 287);
}

TEST_F(MainWindowLayoutTest, NoButtonTouchesAPaneAtAnyWidth)
{
    for (int width = 300; width <= 1600; width += 37) { // odd and even widths
        for (int w : {width, width + 1}) {
            dlg->resize(w, 480);
            ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->clientArea()->width() == w; }, 1000));
            const QRect left = dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT)->geometry();
            const QRect right = dlg->GetDlgItem<TextPane>(IDC_RESULT_TEXT)->geometry();
            for (int id : {IDC_LOAD, IDC_CONVERT, IDC_SAVE}) {
                const QRect button = dlg->GetDlgItem<QPushButton>(id)->geometry();
                EXPECT_GT(button.left(), left.right()) << "width " << w;
                EXPECT_LT(button.right(), right.left()) << "width " << w;
            }
            // The right margin stays as the left one.
            EXPECT_EQ(w - right.right() - 1, left.left()) << "width " << w;
        }
    }
}

TEST(DialogLayoutTest, DialogsAreFixedWithOnlyACloseBoxAndClipNoText)
{
    CAboutDlg about;
    CHelpDlg help;
    CNewsDlg news;
    for (QDialog* dlg : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&help),
                         static_cast<QDialog*>(&news)}) {
        SCOPED_TRACE(dlg->windowTitle().toStdString());
        const Qt::WindowFlags flags = dlg->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
        for (const QPushButton* button : dlg->findChildren<QPushButton*>())
            EXPECT_TRUE(textFits(button)) << button->text().toStdString();
        // Every child lies inside the dialog.
        for (const QWidget* child : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(dlg->rect().contains(child->geometry()))
                << child->metaObject()->className();
    }
    for (int i = 0; i < 4; ++i) {
        const QLabel* line = about.line(i);
        EXPECT_LE(line->sizeHint().width(), line->width()) << line->text().toStdString();
        EXPECT_LE(line->sizeHint().height(), line->height()) << line->text().toStdString();
    }
    EXPECT_EQ(onScreen(&news), DialogUnits(96, 96).size(400, 202) * expectedScale());
}
