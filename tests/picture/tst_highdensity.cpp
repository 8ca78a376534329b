// The viewing pane on a high-density screen: Qt's offscreen platform scaled
// by 2, as QT_SCALE_FACTOR=2 scales a desktop. A stretched JPEG is decoded for
// the pane's device pixels, not for its logical size and then enlarged.
#include "TestJpeg.h"
#include "ui/ImageControl.h"

#include <QtTest>

using namespace mg;

class TestHighDensity : public QObject {
    Q_OBJECT
public:
    static void initMain() { qputenv("QT_SCALE_FACTOR", "2"); }

private slots:
    void paneDecodesForDevicePixels_data();
    void paneDecodesForDevicePixels();
};

void TestHighDensity::paneDecodesForDevicePixels_data()
{
    QTest::addColumn<QSize>("pane");
    QTest::addColumn<int>("scale");
    QTest::newRow("an eighth of the picture in logical pixels is a quarter on screen") << QSize(200, 150) << 2;
    QTest::newRow("half the picture in logical pixels needs all of it") << QSize(800, 600) << 8;
}

void TestHighDensity::paneDecodesForDevicePixels()
{
    QFETCH(QSize, pane);
    QFETCH(int, scale);
    JpegGraphic jpeg;
    jpeg.LoadFromBytes(mg::test::MakeJpeg(1600, 1200));
    TImage image;
    image.Picture().Assign(&jpeg);
    image.SetStretch(true);
    image.SetBounds(0, 0, pane.width(), pane.height());
    image.show();
    QVERIFY(QTest::qWaitForWindowExposed(&image));
    QCOMPARE(image.devicePixelRatio(), 2.0);
    const QPixmap shown = image.grab();
    QCOMPARE(shown.size(), pane * 2);
    const auto* held = static_cast<const JpegGraphic*>(image.Picture().Graphic());
    QCOMPARE(held->LastScale(), scale);
}

QTEST_MAIN(TestHighDensity)
#include "tst_highdensity.moc"
