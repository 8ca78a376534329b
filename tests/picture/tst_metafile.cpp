// The metafile helper's confinement, its renderer failures, the window
// painting while it works, and metafiles drawn sharp at the size shown.
#include "Fixtures.h"
#include "TestJpeg.h"
#include "base/Error.h"
#include "ui/Graphics.h"
#include "ui/MetafileSandbox.h"
#include "ui/Picture.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace mg;

namespace {

// Runs a shell script confined and returns what it printed.
QString RunConfined(const QString& script, Confinement* how = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const Confinement used = StartConfined(process, "/bin/sh", {"-c", script});
    if (how)
        *how = used;
    if (!process.waitForFinished(10000))
        return "(did not finish)";
    return QString::fromUtf8(process.readAll()).trimmed();
}

QString LoadError(TPicture& picture, const std::string& path)
{
    try {
        picture.LoadFromFile(path);
    } catch (const mg::Error& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

std::string Write(const QTemporaryDir& dir, const QString& name, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = QDir(dir.path()).filePath(name).toStdString();
    mg::test::WriteFile(path, bytes);
    return path;
}

// Pixels of a row that are neither white, black nor red: the blur of a
// picture stretched from fewer pixels.
int BlendedPixels(const QImage& image, int y)
{
    int blended = 0;
    for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        auto near = [&](int r, int g, int b) {
            return qAbs(c.red() - r) < 16 && qAbs(c.green() - g) < 16 && qAbs(c.blue() - b) < 16;
        };
        if (!near(255, 255, 255) && !near(0, 0, 0) && !near(255, 0, 0))
            ++blended;
    }
    return blended;
}

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

class TestMetafile : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        SetMetafileHelperCommand({});
        SetMetafileTimeout(0);
        SetBubblewrapProgram(QString());
    }
    void cleanupTestCase() { SetBubblewrapProgram(QString()); }

    void confinedHelperSeesNothingOfTheUser_data();
    void confinedHelperSeesNothingOfTheUser();
    void helperRendersWithoutBubblewrap_data();
    void helperRendersWithoutBubblewrap();
    void missingFontsAreNotABadFile();
    void windowPaintsWhileHelperWorks();
    void fittedMetafileIsSharp_data();
    void fittedMetafileIsSharp();
};

void TestMetafile::confinedHelperSeesNothingOfTheUser_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("confined");   // printed inside bubblewrap
    QTest::addColumn<QString>("limitsOnly"); // printed without; null: not checked
    const QString home = QDir::homePath() + "/.mg-sandbox-secret";
    const QString tmp = QDir::tempPath() + "/.mg-sandbox-secret";
    QTest::newRow("file in the home folder") << "cat " + home + " 2>/dev/null || echo refused"
                                             << "refused" << QString();
    QTest::newRow("file in the temporary folder") << "cat " + tmp + " 2>/dev/null || echo refused"
                                                  << "refused" << QString();
    QTest::newRow("writing to a system folder")
        << "touch /usr/.mg-sandbox-probe 2>/dev/null && echo written || echo refused"
        << "refused" << QString();
    QTest::newRow("network other than loopback") << "tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d ' '"
                                                 << "lo" << QString();
    QTest::newRow("the viewer's environment") << "echo \"[$MG_SANDBOX_SECRET][$HOME][$DISPLAY]\""
                                              << "[][][]"
                                              << "[][][]";
    QTest::newRow("a descriptor the viewer left open")
        << "for f in /proc/self/fd/*; do [ -e \"$f\" ] && echo ${f##*/}; done | tr '\\n' ' '"
        << "0 1 2"
        << "0 1 2";
    QTest::newRow("gaining privileges") << "grep NoNewPrivs /proc/self/status | tr -d '\\t '"
                                        << "NoNewPrivs:1"
                                        << "NoNewPrivs:1";
}

void TestMetafile::confinedHelperSeesNothingOfTheUser()
{
    QFETCH(QString, script);
    QFETCH(QString, confined);
    QFETCH(QString, limitsOnly);
    const QByteArray secret = "the user's secret";
    QFile home(QDir::homePath() + "/.mg-sandbox-secret");
    QFile tmp(QDir::tempPath() + "/.mg-sandbox-secret");
    QVERIFY(home.open(QIODevice::WriteOnly) && home.write(secret) == secret.size());
    QVERIFY(tmp.open(QIODevice::WriteOnly) && tmp.write(secret) == secret.size());
    home.close();
    tmp.close();
    qputenv("MG_SANDBOX_SECRET", secret);
    const int leaked = ::open("/dev/null", O_RDONLY); // without close-on-exec
    QVERIFY(leaked >= 3);

    Confinement how = Confinement::LimitsOnly;
    const QString printed = RunConfined(script, &how);
    ::close(leaked);
    home.remove();
    tmp.remove();
    QFile::remove("/usr/.mg-sandbox-probe");
    if (how == Confinement::Bubblewrap) {
        QCOMPARE(printed, confined);
    } else {
        if (limitsOnly.isNull())
            QSKIP("bubblewrap does not work here (no bwrap or no user namespaces): "
                  "the helper runs with its resource limits only");
        QCOMPARE(printed, limitsOnly);
    }
}

void TestMetafile::helperRendersWithoutBubblewrap_data()
{
    QTest::addColumn<QString>("bwrap");
    QTest::newRow("bubblewrap where it works") << QString();
    QTest::newRow("no bubblewrap installed") << QString("");
    QTest::newRow("bubblewrap that fails") << QString("/bin/false");
}

void TestMetafile::helperRendersWithoutBubblewrap()
{
    QFETCH(QString, bwrap);
    SetBubblewrapProgram(bwrap);
    if (!bwrap.isNull())
        QVERIFY(!BubblewrapWorks());
    QTemporaryDir dir;
    TPicture picture;
    QCOMPARE(LoadError(picture, Write(dir, "drawing.wmf", mg::test::MakeWmf(120, 60))), QString());
    QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(120, 60));
    QCOMPARE(LoadError(picture, Write(dir, "drawing.emf", mg::test::MakeEmf(120, 60))), QString());
    QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(120, 60));
}

void TestMetafile::missingFontsAreNotABadFile()
{
    // The real helper on a system without fonts: bubblewrap hides them.
    const QString helper = MetafileHelperPath();
    QVERIFY(!helper.isEmpty());
    const QString bwrap = QStandardPaths::findExecutable("bwrap");
    if (bwrap.isEmpty())
        QSKIP("bwrap is not installed: no way to hide the fonts from the helper");
    SetBubblewrapProgram(""); // the outer confinement would forbid the inner one
    QStringList args = {"--dev-bind", "/", "/"};
    for (const char* folder : {"/usr/share/fonts", "/etc/fonts", "/var/cache/fontconfig"})
        args << "--tmpfs" << folder;
    args << "--" << helper;
    QProcess probe;
    probe.start(bwrap, {"--dev-bind", "/", "/", "--", "/bin/true"});
    if (!probe.waitForFinished(5000) || probe.exitCode() != 0)
        QSKIP("bubblewrap does not work here (no user namespaces): no way to hide the fonts");

    QTemporaryDir dir;
    TPicture picture;
    SetMetafileHelperCommand(bwrap, args);
    QCOMPARE(LoadError(picture, Write(dir, "good.wmf", mg::test::MakeWmf(120, 60))), QString(kMetafileRendererBroken));
    // A damaged file is still called damaged when the fonts are there.
    SetMetafileHelperCommand({});
    QCOMPARE(LoadError(picture, Write(dir, "bad.wmf", mg::test::Garbage(500))), QString("Metafile image is not valid"));
}

void TestMetafile::windowPaintsWhileHelperWorks()
{
    PaintCounter window;
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, &window, [&] { window.update(); });
    repaint.start(50);
    QTest::qWait(100);
    window.paints = 0;

    // A helper that works for a second and then refuses the file.
    SetMetafileHelperCommand("/bin/sh", {"-c", "printf FMGM; cat >/dev/null; sleep 1; exit 5"});
    QTemporaryDir dir;
    TPicture picture;
    QCOMPARE(LoadError(picture, Write(dir, "slow.wmf", mg::test::MakeWmf(20, 20))),
             QString("Metafile image is not valid"));
    QVERIFY2(window.paints >= 5, qPrintable(QString::number(window.paints)));
}

void TestMetafile::fittedMetafileIsSharp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    QTest::newRow("WMF fitted at four times") << "drawing.wmf" << 4;
    QTest::newRow("EMF fitted at four times") << "drawing.emf" << 4;
    QTest::newRow("WMF fitted at eight times") << "drawing.wmf" << 8;
}

void TestMetafile::fittedMetafileIsSharp()
{
    QFETCH(QString, name);
    QFETCH(int, scale);
    QTemporaryDir dir;
    const bool wmf = name.endsWith(".wmf");
    TPicture picture;
    QCOMPARE(LoadError(picture, Write(dir, name, wmf ? mg::test::MakeWmf(60, 30) : mg::test::MakeEmf(60, 30))),
             QString());
    const QSize shown(60 * scale, 30 * scale);
    QImage screen(shown, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        picture.Graphic()->Draw(painter, QRect(QPoint(0, 0), shown));
    }
    QCOMPARE(QColor(screen.pixel(shown.width() / 2, shown.height() / 2)), QColor(Qt::red));
    // Each edge of the rectangle crosses the middle row twice (its outline
    // and its fill): a stretched picture blurs each over several pixels.
    QVERIFY2(BlendedPixels(screen, shown.height() / 2) <= 8,
             qPrintable(QString::number(BlendedPixels(screen, shown.height() / 2))));
}

QTEST_MAIN(TestMetafile)
#include "tst_metafile.moc"
