// The image control: AutoSize and Stretch rules, floating into a tool window,
// the automatic drag of a floating control, clicks and context requests.
#include "ui/ImageControl.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#ifdef MG_HAVE_XCB
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#endif

using namespace mg;

namespace {

// A bitmap of the given size; 0 in either side makes an empty picture.
TBitmap Bitmap(int width, int height)
{
    if (width <= 0 || height <= 0)
        return TBitmap(QImage());
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::blue);
    return TBitmap(image);
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestImageControl : public QObject {
    Q_OBJECT
private slots:
    void autoSizeRules_data();
    void autoSizeRules();
    void stretchDrawing_data();
    void stretchDrawing();
    void floatControlGeometry();
    void floatingWindowHasNoTitleOnX11();
    void floatingWindowFollowsAndFollowed();
    void floatingAgainReleasesFirstWindow();
    void closeBoxHidesWithControlInside();
    void leftPress_data();
    void leftPress();
    void rightButtonAsksForContext();
};

void TestImageControl::autoSizeRules_data()
{
    // Steps, run in order on a fresh control 300 x 200 (AutoSize off, no
    // picture): "auto on", "auto off", "picture WxH" (0 in a side: empty),
    // "bounds X,Y,WxH", "width N".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("picture while off leaves the size") << QStringList{"picture 40x30"} << QSize(300, 200);
    QTest::newRow("turning on takes the natural size") << QStringList{"picture 40x30", "auto on"} << QSize(40, 30);
    QTest::newRow("picture while on takes its size") << QStringList{"auto on", "picture 40x30"} << QSize(40, 30);
    QTest::newRow("turning on without a picture gives 0x0") << QStringList{"auto on"} << QSize(0, 0);
    QTest::newRow("turning on with an empty picture gives 0x0")
        << QStringList{"picture 0x30", "auto on"} << QSize(0, 0);
    QTest::newRow("empty picture while on leaves the size")
        << QStringList{"auto on", "picture 40x30", "picture 50x0"} << QSize(40, 30);
    QTest::newRow("size assigned while on is replaced")
        << QStringList{"picture 40x30", "auto on", "bounds 8,12,500x400"} << QSize(40, 30);
    QTest::newRow("width assigned while on is replaced")
        << QStringList{"picture 40x30", "auto on", "width 99"} << QSize(40, 30);
    QTest::newRow("position assigned with an empty picture gives 0x0")
        << QStringList{"auto on", "picture 40x30", "picture 0x0", "bounds 3,4,40x30"} << QSize(0, 0);
    QTest::newRow("turning off keeps the size") << QStringList{"picture 40x30", "auto on", "auto off"} << QSize(40, 30);
    QTest::newRow("sizes after turning off hold")
        << QStringList{"picture 40x30", "auto on", "auto off", "bounds 8,12,376x272"} << QSize(376, 272);
    QTest::newRow("picture after turning off leaves the size")
        << QStringList{"picture 40x30", "auto on", "auto off", "picture 90x90"} << QSize(40, 30);
}

void TestImageControl::autoSizeRules()
{
    QFETCH(QStringList, steps);
    QFETCH(QSize, expected);
    QWidget parent;
    parent.resize(800, 600);
    TImage image(&parent);
    image.SetBounds(8, 12, 300, 200);
    parent.show();
    for (const QString& step : steps) {
        const QStringList parts = step.split(' ');
        const QString arg = parts.value(1);
        if (step == "auto on") {
            image.SetAutoSize(true);
        } else if (step == "auto off") {
            image.SetAutoSize(false);
        } else if (parts[0] == "picture") {
            const QStringList wh = arg.split('x');
            const TBitmap bitmap = Bitmap(wh[0].toInt(), wh[1].toInt());
            image.Picture().Assign(&bitmap);
        } else if (parts[0] == "bounds") {
            const QStringList xy = arg.split(',');
            const QStringList wh = xy[2].split('x');
            image.SetBounds(xy[0].toInt(), xy[1].toInt(), wh[0].toInt(), wh[1].toInt());
        } else if (parts[0] == "width") {
            image.SetWidth(arg.toInt());
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
    QCOMPARE(image.size(), expected);
}

void TestImageControl::stretchDrawing_data()
{
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<QPoint>("probe");
    QTest::addColumn<QColor>("colour");
    // The picture is 2 x 2: red, green / blue, white; the control 20 x 20.
    QTest::newRow("stretched: bottom-right quarter is the last pixel") << true << QPoint(15, 15) << QColor(Qt::white);
    QTest::newRow("stretched: top-right quarter") << true << QPoint(15, 3) << QColor(Qt::green);
    QTest::newRow("natural: top-left pixel at the corner") << false << QPoint(0, 0) << QColor(Qt::red);
    QTest::newRow("natural: nothing drawn beyond the picture") << false << QPoint(15, 15) << QColor(Qt::black);
}

void TestImageControl::stretchDrawing()
{
    QFETCH(bool, stretch);
    QFETCH(QPoint, probe);
    QFETCH(QColor, colour);
    QImage picture(2, 2, QImage::Format_RGB888);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(1, 0, Qt::green);
    picture.setPixelColor(0, 1, Qt::blue);
    picture.setPixelColor(1, 1, Qt::white);
    TImage image;
    image.SetBounds(0, 0, 20, 20);
    const TBitmap bitmap(picture);
    image.Picture().Assign(&bitmap);
    image.SetStretch(stretch);
    QImage shot(20, 20, QImage::Format_RGB32);
    shot.fill(Qt::black);
    image.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(shot.pixelColor(probe), colour);
}

void TestImageControl::floatControlGeometry()
{
    QWidget form;
    TImage* control = new TImage(&form); // goes with the window
    TImage& image = *control;
    image.SetBounds(8, 12, 300, 200);
    form.show();
    image.FloatControl(QRect(100, 120, 200, 150));
    QWidget* host = image.FloatHost();
    QVERIFY(host);
    QVERIFY(host != &form);
    QVERIFY(host->isWindow());
    QVERIFY(!host->parentWidget()); // owned by the application, not the form
    QVERIFY(host->windowFlags().testFlag(Qt::Tool));
    QVERIFY(host->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(host->windowTitle(), QString());
    QCOMPARE(host->size(), QSize(200, 150));
    QCOMPARE(host->frameGeometry().topLeft(), QPoint(100, 120));
    QCOMPARE(image.geometry(), QRect(0, 0, 200, 150));
    QVERIFY(host->isVisible());
    QVERIFY(image.isVisible());
    delete host;
}

void TestImageControl::floatingWindowFollowsAndFollowed()
{
    TImage* image = new TImage;
    image->FloatControl(QRect(50, 60, 200, 150));
    QPointer<QWidget> host = image->FloatHost();
    host->resize(260, 90);
    QCOMPARE(image->size(), QSize(260, 90));
    image->SetBounds(0, 0, 100, 75); // the snapshot's rescale
    QCOMPARE(host->size(), QSize(100, 75));
    QCOMPARE(image->pos(), QPoint(0, 0));
    delete host;
}

void TestImageControl::floatingAgainReleasesFirstWindow()
{
    TImage* image = new TImage;
    image->FloatControl(QRect(50, 60, 200, 150));
    QPointer<QWidget> first = image->FloatHost();
    image->FloatControl(QRect(70, 80, 120, 90));
    QPointer<QWidget> second = image->FloatHost();
    QVERIFY(second && second != first);
    QCOMPARE(second->size(), QSize(120, 90));
    QTRY_VERIFY(first.isNull());
    QVERIFY(second); // the window holding the control stays
    delete second;
}

void TestImageControl::closeBoxHidesWithControlInside()
{
    TImage* image = new TImage;
    image->FloatControl(QRect(50, 60, 200, 150));
    QPointer<QWidget> host = image->FloatHost();
    QVERIFY(host->close() || !host->isVisible());
    QVERIFY(!host->isVisible());
    QVERIFY(!image->isVisible());
    QCoreApplication::processEvents();
    QTest::qWait(20);
    QVERIFY(host);
    QCOMPARE(image->FloatHost(), host.data());
    // The next float leaves the hidden window, which then goes away.
    image->FloatControl(QRect(10, 10, 50, 50));
    QTRY_VERIFY(host.isNull());
    delete image->FloatHost();
}

void TestImageControl::leftPress_data()
{
    QTest::addColumn<bool>("floating");
    QTest::addColumn<bool>("dragFloats");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QPoint>("windowMove");
    QTest::newRow("docked control clicks") << false << true << 1 << QPoint(0, 0);
    QTest::newRow("floating without automatic drag clicks") << true << false << 1 << QPoint(0, 0);
    QTest::newRow("floating with automatic drag moves, no click") << true << true << 0 << QPoint(25, 15);
}

void TestImageControl::leftPress()
{
    QFETCH(bool, floating);
    QFETCH(bool, dragFloats);
    QFETCH(int, clicks);
    QFETCH(QPoint, windowMove);
    QWidget form;
    form.setGeometry(300, 300, 400, 300);
    TImage* image = new TImage(&form);
    image->SetBounds(8, 12, 200, 150);
    image->SetDragFloats(dragFloats);
    form.show();
    if (floating)
        image->FloatControl(QRect(100, 100, 200, 150));
    QWidget* window = image->window();
    const QPoint before = window->pos();
    QSignalSpy spy(image, &TImage::clicked);

    // Press, move by (25, 15) with the button held, release there: the
    // grabbed point stays under the pointer throughout.
    SendMouse(image, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    const QPoint pressGlobal = image->mapToGlobal(QPoint(10, 10));
    const QPoint target = pressGlobal + QPoint(25, 15);
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(image->mapFromGlobal(target)), QPointF(target), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(image, &move);
    }
    if (windowMove != QPoint(0, 0))
        QCOMPARE(image->mapToGlobal(QPoint(10, 10)), target);
    {
        const QPoint back = floating && dragFloats ? QPoint(10, 10) : QPoint(12, 12);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(back), QPointF(image->mapToGlobal(back)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(image, &release);
    }
    QCOMPARE(spy.count(), clicks);
    QCOMPARE(window->pos() - before, windowMove);
    if (floating)
        delete image->FloatHost();
}

void TestImageControl::rightButtonAsksForContext()
{
    TImage image;
    image.SetBounds(0, 0, 50, 50);
    QSignalSpy context(&image, &TImage::contextRequested);
    QSignalSpy click(&image, &TImage::clicked);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), image.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&image, &event);
    QCOMPARE(context.count(), 1);
    QCOMPARE(click.count(), 0);
}

void TestImageControl::floatingWindowHasNoTitleOnX11()
{
#ifdef MG_HAVE_XCB
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs X11: ctest runs it as tst_imagecontrol_x11 under xvfb-run");
    QWidget form;
    TImage* control = new TImage(&form);
    control->SetBounds(8, 12, 300, 200);
    form.show();
    control->FloatControl(QRect(100, 120, 200, 150));
    QWidget* host = control->FloatHost();
    QVERIFY(host && QTest::qWaitForWindowExposed(host));
    // What a window manager shows as the caption.
    xcb_connection_t* connection = x11->connection();
    auto property = [&](const char* name) {
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 0, xcb_window_t(host->winId()), atom->atom,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                                   nullptr);
        const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
        std::free(atom);
        return value;
    };
    QCOMPARE(property("WM_NAME"), QByteArray());
    QCOMPARE(property("_NET_WM_NAME"), QByteArray());
    delete host;
#else
    QSKIP("built without xcb");
#endif
}

QTEST_MAIN(TestImageControl)
#include "tst_imagecontrol.moc"
