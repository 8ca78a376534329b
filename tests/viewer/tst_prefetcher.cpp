// The read-ahead worker on its own (no window): what it holds stays within
// its caps, a picture is found only for the view it was made for, a new
// wish drops the rest, and it stops with a read in flight.
#include "TestJpeg.h"
#include "viewer/Prefetch.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace mg;
using namespace mg::viewer;

namespace {

PrefetchView FittedView()
{
    PrefetchView view;
    view.boxWidth = 433;
    view.boxHeight = 300;
    view.clientWidth = 429;
    view.clientHeight = 296;
    view.fit = true;
    return view;
}

// A small JPEG whose frame header declares width x height.
std::vector<std::uint8_t> DeclaringJpeg(int width, int height)
{
    std::vector<std::uint8_t> jpeg = test::MakeJpeg(16, 16);
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = std::uint8_t(height >> 8);
            jpeg[i + 6] = std::uint8_t(height);
            jpeg[i + 7] = std::uint8_t(width >> 8);
            jpeg[i + 8] = std::uint8_t(width);
            break;
        }
    }
    return jpeg;
}

} // namespace

class TestPrefetcher : public QObject {
    Q_OBJECT
private slots:
    void capsHold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<int>("held");
        QTest::newRow("two neighbours not both held") << "small" << true << 2;
        QTest::newRow("file over the byte cap read anyway") << "huge file" << true << 0;
        QTest::newRow("unfitted pixels over the byte cap decoded anyway") << "huge pixels" << false << 0;
        QTest::newRow("the same pixels fitted are not held") << "huge pixels" << true << 2;
    }
    void capsHold()
    {
        QFETCH(QString, kind);
        QFETCH(bool, fit);
        QFETCH(int, held);
        QTemporaryDir dir;
        const std::string a = dir.filePath("a.jpg").toStdString(), b = dir.filePath("b.jpg").toStdString();
        for (const std::string& path : {a, b}) {
            if (kind == "small") {
                test::WriteFile(path, test::MakeJpeg(40, 30));
            } else if (kind == "huge pixels") {
                // 10000 x 7000 needs 210 MB of pixels at full size.
                test::WriteFile(path, DeclaringJpeg(10000, 7000));
            } else {
                // Sparse: its size costs no disk.
                const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
                QVERIFY(fd >= 0 && ::ftruncate(fd, off_t(kPrefetchBytes + 1)) == 0);
                ::close(fd);
            }
        }
        PrefetchView view = FittedView();
        view.fit = fit;
        Prefetcher prefetcher;
        prefetcher.Want({{a, view, nullptr}, {b, view, nullptr}}, "");
        prefetcher.WaitIdle();
        QCOMPARE(prefetcher.HeldPictures(), std::size_t(held));
        QVERIFY(prefetcher.HeldBytes() <= kPrefetchBytes);
        QCOMPARE(bool(prefetcher.Find(a, view)), held > 0);
    }

    void foundOnlyForItsView_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("other light key") << 0;
        QTest::newRow("other strong passphrase") << 1;
        QTest::newRow("encrypted view") << 2;
        QTest::newRow("fitting off") << 3;
        QTest::newRow("larger pane") << 4;
        QTest::newRow("high-density screen") << 5;
    }
    void foundOnlyForItsView()
    {
        QFETCH(int, change);
        QTemporaryDir dir;
        const std::string a = dir.filePath("a.jpg").toStdString();
        test::WriteFile(a, test::MakeJpeg(1600, 1200));
        const PrefetchView view = FittedView();
        Prefetcher prefetcher;
        prefetcher.Want({{a, view, nullptr}}, "");
        prefetcher.WaitIdle();
        const auto found = prefetcher.Find(a, view);
        QVERIFY(found);
        QCOMPARE(found->source, PrefetchSource::Plain);
        // Fitted into 358 x 276: a quarter of each side covers it.
        QCOMPARE(found->scale, 2);
        PrefetchView other = view;
        switch (change) {
        case 0:
            other.key = 1;
            break;
        case 1:
            other.strongEpoch = 1;
            break;
        case 2:
            other.encrypted = true;
            break;
        case 3:
            other.fit = false;
            break;
        case 4:
            other.boxWidth += 100;
            break;
        case 5:
            other.pixelRatio = 2;
            break;
        }
        QVERIFY(!prefetcher.Find(a, other));
        QVERIFY(!prefetcher.Find(a + "x", view));
    }

    void newWishDropsTheRest()
    {
        QTemporaryDir dir;
        std::vector<std::string> paths;
        for (const char* n : {"a.jpg", "b.jpg", "c.jpg"}) {
            paths.push_back(dir.filePath(n).toStdString());
            test::WriteFile(paths.back(), test::MakeJpeg(40, 30));
        }
        const PrefetchView view = FittedView();
        Prefetcher prefetcher;
        prefetcher.Want({{paths[0], view, nullptr}, {paths[1], view, nullptr}}, "");
        prefetcher.WaitIdle();
        // a is shown now: kept beside the new wish, b goes.
        prefetcher.Want({{paths[2], view, nullptr}}, paths[0]);
        prefetcher.WaitIdle();
        QVERIFY(prefetcher.Find(paths[0], view));
        QVERIFY(!prefetcher.Find(paths[1], view));
        QVERIFY(prefetcher.Find(paths[2], view));
        QCOMPARE(prefetcher.HeldPictures(), std::size_t(1));
        prefetcher.Drop();
        QVERIFY(!prefetcher.Find(paths[0], view));
        QCOMPARE(prefetcher.HeldPictures(), std::size_t(0));
    }

    void stopsWithAReadInFlight()
    {
        QTemporaryDir dir;
        const std::string big = dir.filePath("big.jpg").toStdString();
        test::WriteFile(big, test::MakeJpeg(3000, 2000, false, true));
        PrefetchView view = FittedView();
        view.fit = false; // a full-size decode, long enough to be under way
        for (int round = 0; round < 3; ++round) {
            Prefetcher prefetcher;
            prefetcher.Want({{big, view, nullptr}}, "");
            QThread::msleep(std::uint32_t(round * 20));
            prefetcher.Stop();
            QVERIFY(!prefetcher.Find(big, view));
            prefetcher.Want({{big, view, nullptr}}, "");
            prefetcher.WaitIdle(); // returns: nothing runs after a stop
        }
    }
};

QTEST_APPLESS_MAIN(TestPrefetcher)
#include "tst_prefetcher.moc"
