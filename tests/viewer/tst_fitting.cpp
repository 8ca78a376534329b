// The viewer's arithmetic: fitting, snapshot rectangle and rescaling.
#include "base/Error.h"
#include "viewer/Fitting.h"

#include <QtTest>

using namespace mg::viewer;

class TestFitting : public QObject {
    Q_OBJECT
private slots:
    void fitPane_data()
    {
        QTest::addColumn<int>("paneW");
        QTest::addColumn<int>("paneH");
        QTest::addColumn<int>("boxW");
        QTest::addColumn<int>("boxH");
        QTest::addColumn<int>("clientW");
        QTest::addColumn<int>("clientH");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("byWidth");
        // 800 x 600 (r = 1.333...) in a box of outer ratio 0.8: width-limited.
        QTest::newRow("wide picture, tall box") << 800 << 600 << 400 << 500 << 396 << 496 << 376 << 272 << true;
        // 100 x 200 (r = 0.5): height 481, Round(240.5) = 240 (ties to even), - 10.
        QTest::newRow("tie at .5 rounds to even") << 100 << 200 << 400 << 505 << 396 << 501 << 230 << 481 << false;
        // 1 x 2 picture (r = 0.5) fitted by height 7: Round(3.5) = 4, - 10.
        QTest::newRow("tie at 3.5 rounds up") << 1 << 2 << 100 << 100 << 96 << 27 << -6 << 7 << false;
        // Equal ratios are not "strictly greater": fitted by height.
        QTest::newRow("equal ratio fits by height") << 300 << 200 << 600 << 400 << 592 << 392 << 548 << 372 << false;
        QTest::newRow("tall picture fits by height") << 100 << 1000 << 400 << 400 << 396 << 396 << 28 << 376 << false;
        // A client smaller than the margin reads back as 0, not a negative size.
        QTest::newRow("box narrower than the margin") << 800 << 100 << 10 << 100 << 10 << 96 << 0 << -10 << true;
    }
    void fitPane()
    {
        QFETCH(int, paneW);
        QFETCH(int, paneH);
        QFETCH(int, boxW);
        QFETCH(int, boxH);
        QFETCH(int, clientW);
        QFETCH(int, clientH);
        const PaneFit fit = FitPane(paneW, paneH, boxW, boxH, clientW, clientH);
        QTEST(fit.width, "width");
        QTEST(fit.height, "height");
        QTEST(fit.byWidth, "byWidth");
    }

    void zeroSizedPane_data()
    {
        QTest::addColumn<int>("paneW");
        QTest::addColumn<int>("paneH");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty pane 0 x 0") << 0 << 0 << "Invalid floating point operation";
        QTest::newRow("pane of height 0") << 5 << 0 << "Floating point division by zero";
    }
    void zeroSizedPane()
    {
        QFETCH(int, paneW);
        QFETCH(int, paneH);
        QFETCH(QString, message);
        try {
            FitPane(paneW, paneH, 300, 400, 296, 396);
            QFAIL("no error raised");
        } catch (const mg::Error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
    }

    void snapshotRect()
    {
        // A pane 401 x 301 gives a client area of 200 x 150 (div truncates).
        const SnapRect s = SnapshotRect(100, 50, 609, 544, 401, 301);
        QCOMPARE(s.right, 709);
        QCOMPARE(s.bottom, 594);
        QCOMPARE(s.right - s.left, 200);
        QCOMPARE(s.bottom - s.top, 150);
    }

    void rescale_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("expected");
        QTest::newRow("50 of 200") << 50 << 200 << 100;
        QTest::newRow("50 of 150") << 50 << 150 << 75;
        QTest::newRow("25 of 10 is Round(2.5) = 2") << 25 << 10 << 2;
        QTest::newRow("35 of 10 is Round(3.5) = 4") << 35 << 10 << 4;
        QTest::newRow("zero percent") << 0 << 200 << 0;
        QTest::newRow("negative percent") << -50 << 200 << -100;
        // 2^31 / 100 * 200 wraps: 21474837 * 200 = 4294967400 -> 104 -> 1.04 -> 1.
        QTest::newRow("product wraps at 32 bits") << 21474837 << 200 << 1;
    }
    void rescale()
    {
        QFETCH(int, percent);
        QFETCH(int, side);
        QTEST(RescaledSide(percent, side), "expected");
    }
};

QTEST_APPLESS_MAIN(TestFitting)
#include "tst_fitting.moc"
