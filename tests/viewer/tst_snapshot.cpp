// The snapshot: its place and size from the pane, its own copy of the
// picture, rescaling by a percentage and the sizes bad answers give.
#include "ViewerFixture.h"

#include "viewer/Fitting.h"

#include <QGroupBox>

using namespace mg;
using namespace mg::test;

class TestSnapshot : public QObject {
    Q_OBJECT
private:
    // A window showing p.jpg with the pane set to paneW x paneH.
    static std::unique_ptr<TfrmMain> WithPane(TestFolder& folder, int paneW, int paneH)
    {
        folder.AddJpeg("p.jpg", 64, 48);
        folder.AddJpeg("q.jpg", 30, 90);
        auto window = ShowMain(folder);
        ClickItem(*window, "p.jpg");
        window->Image1->SetAutoSize(false);
        window->Image1->SetBounds(8, 12, paneW, paneH);
        return window;
    }

private slots:
    void placeAndSize_data()
    {
        QTest::addColumn<QSize>("pane");
        QTest::addColumn<QSize>("client");
        QTest::newRow("odd sides truncate") << QSize(401, 301) << QSize(200, 150);
        QTest::newRow("even sides halve") << QSize(400, 300) << QSize(200, 150);
        QTest::newRow("small odd sides") << QSize(3, 5) << QSize(1, 2);
    }
    void placeAndSize()
    {
        QFETCH(QSize, pane);
        QFETCH(QSize, client);
        TestFolder folder;
        ScriptedDialogs dialogs;
        auto window = WithPane(folder, pane.width(), pane.height());
        window->Image1Click();
        QWidget* host = window->Image2->FloatHost();
        QVERIFY(host);
        QVERIFY(host->isVisible());
        QVERIFY(host->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(host->size(), client);
        QCOMPARE(window->Image2->size(), client);
        // The outer corner stands half the pane's size before the point that
        // the main window's client size reaches from its frame's corner.
        const QPoint corner = window->frameGeometry().topLeft() + QPoint(window->ClientWidth(), window->ClientHeight());
        QCOMPARE(host->frameGeometry().topLeft(), corner - QPoint(client.width(), client.height()));
        QCOMPARE(window->Image2->Stretch(), window->Image1->Stretch());
        QVERIFY(!window->Image2->AutoSize());
    }

    void keepsItsPictureWhileBrowsing()
    {
        TestFolder folder;
        ScriptedDialogs dialogs;
        auto window = WithPane(folder, 200, 100);
        window->Image1Click();
        ClickItem(*window, "q.jpg");
        QCOMPARE(window->Image1->Picture().Width(), 30);
        QCOMPARE(window->Image2->Picture().Width(), 64);
        QCOMPARE(window->Image2->Picture().Height(), 48);
    }

    void rescale_data()
    {
        QTest::addColumn<QSize>("start");
        QTest::addColumn<int>("result"); // the dialog's end
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSize>("after");
        const int m = TfrmMain::kSnapshotMinSide;
        QTest::newRow("50 halves") << QSize(200, 150) << int(mrOk) << "50" << QSize(100, 75);
        QTest::newRow("25 of 10 is 2.5, rounded to even 2") << QSize(10, 10) << int(mrOk) << "25" << QSize(2, 2);
        QTest::newRow("35 of 10 is 3.5, rounded to even 4") << QSize(10, 10) << int(mrOk) << "35" << QSize(4, 4);
        QTest::newRow("200 doubles") << QSize(100, 75) << int(mrOk) << "200" << QSize(200, 150);
        QTest::newRow("hex percentage") << QSize(200, 150) << int(mrOk) << "$64" << QSize(200, 150);
        QTest::newRow("letters change nothing") << QSize(200, 150) << int(mrOk) << "big" << QSize(200, 150);
        QTest::newRow("Cancel rescales to the default 50") << QSize(200, 150) << int(mrCancel) << "" << QSize(100, 75);
        QTest::newRow("0 keeps a small usable window") << QSize(200, 150) << int(mrOk) << "0" << QSize(m, m);
        QTest::newRow("negative keeps a small usable window") << QSize(200, 150) << int(mrOk) << "-50" << QSize(m, m);
        QTest::newRow("overflowing product keeps a small usable window")
            << QSize(200, 150) << int(mrOk) << "2147483647" << QSize(m, m);
    }
    void rescale()
    {
        QFETCH(QSize, start);
        QFETCH(int, result);
        QFETCH(QString, text);
        QFETCH(QSize, after);
        TestFolder folder;
        ScriptedDialogs dialogs;
        auto window = WithPane(folder, 2 * start.width(), 2 * start.height());
        window->Image1Click();
        QCOMPARE(window->Image2->size(), start);
        window->Image2->SetStretch(false);
        dialogs.Answer(result, text);
        window->Image2ContextPopup();
        QCOMPARE(dialogs.seen.size(), 1);
        QCOMPARE(dialogs.seen[0].caption, QStringLiteral("Rescale"));
        QCOMPARE(dialogs.seen[0].text, QStringLiteral("Rescale % "));
        QCOMPARE(dialogs.seen[0].defaultText, QStringLiteral("50"));
        QCOMPARE(window->Image2->size(), after);
        QCOMPARE(window->Image2->FloatHost()->size(), after);
        QCOMPARE(window->Image2->Stretch(), after != start || text == "$64");
    }

    void rightClickAsksAndSecondClickRestores()
    {
        TestFolder folder;
        ScriptedDialogs dialogs;
        auto window = WithPane(folder, 300, 200);
        window->Image1Click();
        dialogs.Answer(mrOk, "10");
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), window->Image2->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(window->Image2, &menu);
        QCOMPARE(window->Image2->size(), QSize(15, 10));
        QWidget* first = window->Image2->FloatHost();
        first->close(); // hides, snapshot inside
        QVERIFY(!first->isVisible());
        QTest::mouseClick(window->Image1, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(window->Image2->FloatHost());
        QVERIFY(window->Image2->FloatHost()->isVisible());
        QCOMPARE(window->Image2->size(), QSize(150, 100));
    }
};

MG_VIEWER_TEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
