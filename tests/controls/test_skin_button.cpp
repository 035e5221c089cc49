#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/RepeatedKeyFilter.h"
#include "controls/SkinButton.h"
#include "controls/SlotLabel.h"

namespace {

// An image whose every pixel names its own place, so a grab shows which
// part of the image landed where.
QPixmap CoordinateImage(int w, int h, int tag) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb(x, y, tag));
        }
    }
    return QPixmap::fromImage(image);
}

QPixmap Solid(int w, int h, QColor colour) {
    QPixmap pixmap(w, h);
    pixmap.fill(colour);
    return pixmap;
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A dialog stand-in that records the keys reaching it.
class KeyWitness : public QWidget {
public:
    int returns = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return) {
            ++returns;
        }
    }
};

class SkinButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(200, 100);
        button = new SkinButton(&parent);  // owned by parent
        button->setGeometry(50, 30, 25, 25);
        button->UpdateRegions();
        ASSERT_TRUE(button->SetBitmaps(&normal, &pressed, &hover));
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    QRgb Shown() { return Grab(*button).pixel(12, 12); }

    // Pointer moves arrive asynchronously on a real display: wait for the
    // look, with a deadline.
    bool Shows(const QPixmap& image) {
        const QRgb want = image.toImage().pixel(0, 0);
        return QTest::qWaitFor([&] { return Shown() == want; }, 2000);
    }

    KeyWitness parent;
    SkinButton* button = nullptr;
    QPixmap normal = Solid(25, 25, QColor(10, 20, 30));
    QPixmap pressed = Solid(25, 25, QColor(200, 100, 0));
    QPixmap hover = Solid(25, 25, QColor(0, 200, 100));
};

}  // namespace

TEST(SkinButtonDrawing, CentresSmallImagesAndCropsLargeOnesFromTheMiddle) {
    SkinButton button;
    const QPixmap exact = CoordinateImage(25, 25, 1);
    const QPixmap large = CoordinateImage(100, 39, 2);
    button.resize(25, 25);
    ASSERT_TRUE(button.SetBitmaps(&exact, &exact, &exact));
    QImage shot = Grab(button);
    EXPECT_EQ(shot.pixel(0, 0), qRgb(0, 0, 1));
    EXPECT_EQ(shot.pixel(24, 24), qRgb(24, 24, 1));

    ASSERT_TRUE(button.SetBitmaps(&large, &large, &large));
    shot = Grab(button);
    EXPECT_EQ(shot.pixel(0, 0), qRgb(37, 7, 2));
    EXPECT_EQ(shot.pixel(24, 24), qRgb(61, 31, 2));

    // A 25 x 25 image on a 58 x 25 button sits at x = 29 - 12 = 17.
    button.resize(58, 25);
    ASSERT_TRUE(button.SetBitmaps(&exact, &exact, &exact));
    shot = Grab(button);
    const QRgb face = button.palette().color(QPalette::Active, QPalette::Button).rgb();
    EXPECT_EQ(shot.pixel(16, 12), face);
    EXPECT_EQ(shot.pixel(17, 12), qRgb(0, 12, 1));
    EXPECT_EQ(shot.pixel(41, 12), qRgb(24, 12, 1));
    EXPECT_EQ(shot.pixel(42, 12), face);
}

TEST(SkinButtonDrawing, DoubleSizeArtPaintsAtItsLogicalSize) {
    SkinButton button;
    button.resize(58, 25);
    QPixmap sharp = CoordinateImage(50, 50, 3);
    sharp.setDevicePixelRatio(2.0);
    ASSERT_TRUE(button.SetBitmaps(&sharp, &sharp, &sharp));
    const QImage shot = Grab(button);
    EXPECT_EQ(shot.pixel(16, 12), button.palette().color(QPalette::Active, QPalette::Button).rgb());
    EXPECT_NE(shot.pixel(17, 12), button.palette().color(QPalette::Active, QPalette::Button).rgb());
    EXPECT_NE(shot.pixel(41, 12), button.palette().color(QPalette::Active, QPalette::Button).rgb());
    EXPECT_EQ(shot.pixel(42, 12), button.palette().color(QPalette::Active, QPalette::Button).rgb());
}

TEST_F(SkinButtonTest, FollowsThePointerAndTheLeftButton) {
    EXPECT_TRUE(Shows(normal));
    QTest::mouseMove(button, QPoint(12, 12));
    EXPECT_TRUE(Shows(hover));

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(Shows(pressed));
    // Held and dragged out: normal; dragged back in: pressed again.
    QMouseEvent out(QEvent::MouseMove, QPointF(60, 12), button->mapToGlobal(QPointF(60, 12)),
                    Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(button, &out);
    EXPECT_TRUE(Shows(normal));
    QMouseEvent back(QEvent::MouseMove, QPointF(12, 12), button->mapToGlobal(QPointF(12, 12)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(button, &back);
    EXPECT_TRUE(Shows(pressed));

    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(Shows(hover));

    QTest::mouseMove(&parent, QPoint(150, 80));
    EXPECT_TRUE(Shows(normal));
}

TEST_F(SkinButtonTest, SetHoverHoldsUntilThePointerLeaves) {
    button->SetHover(true);
    EXPECT_TRUE(Shows(hover));
    button->repaint();
    EXPECT_TRUE(Shows(hover));
    // A disabled button shows SetHover's look too, but never the pointer's.
    button->setEnabled(false);
    EXPECT_TRUE(Shows(hover));
    button->SetHover(false);
    QTest::mouseMove(button, QPoint(12, 12));
    EXPECT_TRUE(Shows(normal));
    button->setEnabled(true);

    button->SetHover(true);
    QTest::mouseMove(button, QPoint(12, 12));
    QTest::mouseMove(&parent, QPoint(150, 80));
    EXPECT_TRUE(Shows(normal));
    EXPECT_FALSE(button->IsHoverSet());
}

TEST_F(SkinButtonTest, NullImageIsRefusedAndTheFormerImagesStay) {
    const QPixmap other = Solid(25, 25, Qt::red);
    EXPECT_FALSE(button->SetBitmaps(&other, &other, nullptr));
    EXPECT_FALSE(button->SetBitmaps(nullptr, &other, &other));
    EXPECT_EQ(button->GetNormalBitmap(), &normal);
    EXPECT_TRUE(Shows(normal));
}

TEST_F(SkinButtonTest, EnterClicksOnceAndStillReachesTheDialog) {
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(parent.returns, 1);

    // A held Enter (auto-repeat) never clicks again.
    for (int i = 0; i < 3; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(button, &repeat);
    }
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(SkinButtonTest, DisabledLooksLikeEnabledAndFocusShowsTheFrame) {
    button->clearFocus();
    const QImage enabled = Grab(*button);
    button->setEnabled(false);
    EXPECT_EQ(Grab(*button), enabled);
    button->setEnabled(true);

    button->SetFrameColor(Qt::white);
    parent.activateWindow();
    button->setFocus();
    if (!button->hasFocus()) {
        GTEST_SKIP() << "the platform gave no focus";
    }
    const QImage framed = Grab(*button);
    EXPECT_EQ(framed.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(framed.pixel(23, 12), qRgb(255, 255, 255));
    EXPECT_EQ(framed.pixel(0, 0), normal.toImage().pixel(0, 0));
    EXPECT_EQ(framed.pixel(12, 12), normal.toImage().pixel(0, 0));
}

TEST(SlotLabelLook, LightBackgroundWithTheTextOverIt) {
    SlotLabel label;
    label.resize(323, 19);
    QImage shot = Grab(label);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            ASSERT_EQ(shot.pixel(x, y), qRgb(236, 238, 236)) << x << "," << y;
        }
    }
    label.setText(QStringLiteral("<b>kick</b> & snare"));  // shown as it is, never as markup
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    shot = Grab(label);
    int ink = 0;
    for (int x = 0; x < shot.width(); ++x) {
        ink += qGray(shot.pixel(x, 9)) < 128 ? 1 : 0;
    }
    EXPECT_GT(ink, 5);
    EXPECT_EQ(shot.pixel(shot.width() - 1, 0), qRgb(236, 238, 236));
}

// Under X11 Qt marks only some repeats; a press stamped like the key's last
// release is one as well. Installed on the application, the filter lets a
// held Enter or Space click once.
TEST(RepeatedKeyFilter, APressStampedLikeTheLastReleaseIsARepeat) {
    QWidget parent;
    auto* button = new SkinButton(&parent);  // owned by parent
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    RepeatedKeyFilter filter;
    qApp->installEventFilter(&filter);
    auto send = [&](QEvent::Type type, int key, quint64 time) {
        QKeyEvent event(type, key, Qt::NoModifier,
                        key == Qt::Key_Space ? QStringLiteral(" ") : QString());
        event.setTimestamp(time);
        QApplication::sendEvent(button, &event);
    };
    // A held Enter: press, then release and press pairs with equal stamps.
    send(QEvent::KeyPress, Qt::Key_Return, 100);
    for (quint64 t = 600; t < 800; t += 40) {
        send(QEvent::KeyRelease, Qt::Key_Return, t);
        send(QEvent::KeyPress, Qt::Key_Return, t);
    }
    send(QEvent::KeyRelease, Qt::Key_Return, 900);
    EXPECT_EQ(clicks.count(), 1);
    send(QEvent::KeyPress, Qt::Key_Return, 1000);  // a fresh press
    EXPECT_EQ(clicks.count(), 2);

    // A held Space clicks at its first release and never again.
    clicks.clear();
    send(QEvent::KeyPress, Qt::Key_Space, 2000);
    for (quint64 t = 2500; t < 2700; t += 40) {
        send(QEvent::KeyRelease, Qt::Key_Space, t);
        send(QEvent::KeyPress, Qt::Key_Space, t);
    }
    send(QEvent::KeyRelease, Qt::Key_Space, 2800);
    EXPECT_EQ(clicks.count(), 1);
    qApp->removeEventFilter(&filter);
}

// A held Escape closes the dialog it began in and never the window beneath;
// a fresh press there still closes it.
TEST(RepeatedKeyFilter, AHeldEscapeClosesOnlyTheDialogItBeganIn) {
    QDialog window;
    QDialog dialog(&window);
    window.show();
    dialog.show();
    RepeatedKeyFilter filter;
    qApp->installEventFilter(&filter);
    auto send = [](QWidget& to, QEvent::Type type, quint64 time) {
        QKeyEvent event(type, Qt::Key_Escape, Qt::NoModifier);
        event.setTimestamp(time);
        QApplication::sendEvent(&to, &event);
    };
    send(dialog, QEvent::KeyPress, 100);
    EXPECT_FALSE(dialog.isVisible());
    for (quint64 t = 600; t < 800; t += 40) {
        send(window, QEvent::KeyRelease, t);
        send(window, QEvent::KeyPress, t);
        QKeyEvent marked(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&window, &marked);
    }
    send(window, QEvent::KeyRelease, 900);
    EXPECT_TRUE(window.isVisible());
    send(window, QEvent::KeyPress, 1000);
    EXPECT_FALSE(window.isVisible());
    qApp->removeEventFilter(&filter);
}
