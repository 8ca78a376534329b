// Reading the list's neighbours ahead, through the real window: stepping
// onto a picture read ahead shows and leaves exactly what a direct load does
// (texts, error, pixels, the generator's seed and the noise drawn after),
// a picture read for another key, view or file is never shown, nothing is
// written while encrypted pictures are browsed, and the window goes with a
// read in flight.
#include "ViewerFixture.h"

#include "cipher/ImageCrypt.h"
#include "cipher/Keystream.h"
#include "cipher/StrongCrypt.h"
#include "viewer/Prefetch.h"

#include <QGroupBox>
#include <QLineEdit>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace mg;
using namespace mg::test;

namespace {

bool g_privateTmp = false;

constexpr std::int32_t kKey = 4711;
constexpr const char* kPassphrase = "open sesame";

void AddLight(TestFolder& folder, const std::string& name, const std::vector<std::uint8_t>& plain,
              std::int32_t key = kKey)
{
    folder.Add(name + ".plain", plain);
    TImgCrypt crypt;
    QVERIFY(crypt.EncryptFile(folder.Path(name + ".plain"), folder.Path(name), key));
    QVERIFY(::unlink(folder.Path(name + ".plain").c_str()) == 0);
}

// Strong files of one batch (one salt) under their names.
void AddStrong(TestFolder& folder, const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
               const char* passphrase = kPassphrase)
{
    strong::StrongKeys keys;
    keys.writeParams = {1, 8};
    keys.SetPassphrase(passphrase);
    keys.NewBatch();
    for (const auto& [name, bytes] : files) {
        folder.Add(name + ".plain", bytes);
        QVERIFY(strong::EncryptFile(folder.Path(name + ".plain"), folder.Path(name), keys));
        QVERIFY(::unlink(folder.Path(name + ".plain").c_str()) == 0);
    }
}

// A later time stamp too, so the change shows whatever the clock's grain.
void Rewrite(TestFolder& folder, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    folder.Add(name, bytes);
    const struct timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 5, 0}};
    QVERIFY(::utimensat(AT_FDCWD, folder.Path(name).c_str(), later, 0) == 0);
}

void UseView(TfrmMain& window, bool encrypted)
{
    window.ViewEncrypted1->setChecked(encrypted);
    window.Open1->setChecked(!encrypted);
}

// What the user and the next display get.
struct Seen {
    QString status;
    QString error;
    QImage pane;
    QStringList dialogs;
    std::uint32_t seed = 0;
    QImage noiseAfter; // the noise of a failing file shown next
    unsigned hits = 0;
    std::size_t held = 0; // pictures read ahead before the step
};

QImage NoiseOf(const TfrmMain& window)
{
    const auto* bitmap = dynamic_cast<const TBitmap*>(window.Image1->Picture().Graphic());
    return bitmap ? bitmap->Image() : QImage();
}

enum Case {
    NormalPicture,
    NormalHeaderDamaged,
    NormalFailsInPaint,
    NormalReplaced,
    LightPicture,
    LightWrongKey,
    LightReplaced,
    StrongPicture,
    StrongOtherPassphrase,
    StrongReplaced,
};

bool Encrypted(Case c)
{
    return c >= LightPicture;
}

// The folder: a.* shown first, b.* the file stepped onto, z.jpg a file that
// fails in the normal view.
void Fill(TestFolder& folder, Case c)
{
    const auto jpeg = MakeJpeg(64, 48);
    const auto other = MakeJpeg(80, 40);
    folder.Add("z.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
    switch (c) {
    case NormalPicture:
    case NormalReplaced:
        folder.Add("a.jpg", jpeg);
        folder.Add("b.jpg", other);
        break;
    case NormalHeaderDamaged:
        folder.Add("a.jpg", jpeg);
        folder.Add("b.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF});
        break;
    case NormalFailsInPaint:
        folder.Add("a.jpg", jpeg);
        folder.Add("b.jpg", WithTwelveBitPrecision(other));
        break;
    case LightPicture:
    case LightReplaced:
        AddLight(folder, "a.Bin", jpeg);
        AddLight(folder, "b.Bin", other);
        break;
    case LightWrongKey:
        AddLight(folder, "a.Bin", jpeg);
        AddLight(folder, "b.Bin", other, kKey + 1);
        break;
    case StrongPicture:
    case StrongReplaced:
        AddStrong(folder, {{"a.Bin", jpeg}, {"b.Bin", other}});
        break;
    case StrongOtherPassphrase:
        AddStrong(folder, {{"a.Bin", jpeg}});
        AddStrong(folder, {{"b.Bin", other}}, "another one");
        break;
    }
}

// Changes made after the read-ahead and before the step.
void ChangeAfterReadAhead(TestFolder& folder, Case c)
{
    const auto larger = MakeJpeg(96, 72);
    if (c == NormalReplaced)
        Rewrite(folder, "b.jpg", larger);
    if (c == LightReplaced) {
        AddLight(folder, "n.Bin", larger);
        QVERIFY(::rename(folder.Path("n.Bin").c_str(), folder.Path("b.Bin").c_str()) == 0);
    }
    if (c == StrongReplaced) {
        AddStrong(folder, {{"n.Bin", larger}});
        QVERIFY(::rename(folder.Path("n.Bin").c_str(), folder.Path("b.Bin").c_str()) == 0);
    }
}

std::string Ext(Case c)
{
    return Encrypted(c) ? ".Bin" : ".jpg";
}

// Shows a, waits for the read-ahead, changes what the case changes, steps
// onto b with the Down key and then shows z in the normal view.
Seen Browse(Case c, bool prefetch)
{
    Seen seen;
    TestFolder folder;
    Fill(folder, c);
    ScriptedDialogs dialogs;
    auto window = ShowMain(folder);
    window->SetPrefetchEnabled(prefetch);
    UseView(*window, Encrypted(c));
    window->DecryptionKey = kKey;
    window->ImgCrypt->Strong.SetPassphrase(kPassphrase);
    SetSeed(12345);
    ClickItem(*window, "a" + Ext(c));
    window->Prefetch()->WaitIdle();
    ChangeAfterReadAhead(folder, c);
    QTest::keyClick(window->FileListBox1, Qt::Key_Down);
    QCoreApplication::processEvents();
    // Each run has a folder of its own; the texts are compared without it.
    const QString root = QString::fromStdString(folder.Root());
    seen.status = window->StatusText().replace(root, "F");
    seen.error = QString(window->LastDisplayError()).replace(root, "F");
    seen.pane = window->Image1->grab().toImage();
    QCoreApplication::processEvents(); // a paint's error report follows it
    seen.dialogs = dialogs.Texts().replaceInStrings(root, "F");
    seen.seed = Seed();
    seen.hits = window->PrefetchHits();
    UseView(*window, false);
    ClickItem(*window, "z.jpg");
    seen.noiseAfter = NoiseOf(*window);
    return seen;
}

// The key, view, folder or mask changes after the read-ahead.
enum Stale { KeyChanged, PassphraseChanged, ToNormalView, ToEncryptedView, FolderChanged, MaskChanged };

// Shows a, waits for the read-ahead of b, makes the change and steps onto
// the file after a.
Seen StepAfterChange(Stale stale, bool prefetch)
{
    TestFolder folder;
    TestFolder second;
    const bool strong = stale == PassphraseChanged;
    const bool encrypted = stale != ToEncryptedView;
    // The normal view reads JPEG pictures ahead by their extension.
    const std::string ext = encrypted ? ".Bin" : ".jpg";
    if (strong) {
        AddStrong(folder, {{"a" + ext, MakeJpeg(30, 20)}, {"b" + ext, MakeJpeg(50, 20)}});
    } else if (encrypted) {
        AddLight(folder, "a" + ext, MakeJpeg(30, 20));
        AddLight(folder, "b" + ext, MakeJpeg(50, 20));
    } else {
        folder.AddJpeg("a" + ext, 30, 20);
        folder.AddJpeg("b" + ext, 50, 20);
    }
    folder.AddJpeg("c.jpg", 70, 20);
    // The same names in another folder, other pictures under the same key.
    if (encrypted) {
        AddLight(second, "a" + ext, MakeJpeg(30, 20));
        AddLight(second, "b" + ext, MakeJpeg(90, 20));
    } else {
        second.AddJpeg("a" + ext, 30, 20);
        second.AddJpeg("b" + ext, 90, 20);
    }
    ScriptedDialogs dialogs;
    auto window = ShowMain(folder);
    window->SetPrefetchEnabled(prefetch);
    window->Edit2->setText(QString::fromStdString("*" + ext));
    UseView(*window, encrypted);
    window->DecryptionKey = kKey;
    window->ImgCrypt->Strong.SetPassphrase(kPassphrase);
    SetSeed(1);
    ClickItem(*window, "a" + ext);
    window->Prefetch()->WaitIdle();
    const std::size_t held = window->Prefetch()->HeldPictures();
    switch (stale) {
    case KeyChanged:
        dialogs.Answer(mrOk, "4712");
        window->SetDecryptionKey1Click();
        break;
    case PassphraseChanged:
        dialogs.Answer(mrOk, "another one");
        window->SetDecryptionKey1Click();
        break;
    case ToNormalView:
        window->Open1Click();
        break;
    case ToEncryptedView:
        dialogs.Answer(mrOk, "4711");
        window->ViewEncrypted1Click();
        break;
    case FolderChanged:
        window->FileListBox1->SetFolder(second.Root());
        break;
    case MaskChanged:
        window->Edit2->setText("*.jpg;a.Bin");
        break;
    }
    window->FileListBox1->SetItemIndex(IndexOf(*window->FileListBox1, "a" + ext));
    QTest::keyClick(window->FileListBox1, Qt::Key_Down);
    Seen seen;
    // Each run has a folder of its own; the texts are compared without it.
    const QString root = QString::fromStdString(folder.Root());
    seen.status = window->StatusText().replace(root, "F").replace(QString::fromStdString(second.Root()), "S");
    seen.error = QString(window->LastDisplayError()).replace(root, "F");
    seen.pane = window->Image1->grab().toImage();
    seen.hits = window->PrefetchHits();
    seen.held = held;
    return seen;
}

} // namespace

class TestPrefetch : public QObject {
    Q_OBJECT
private slots:
    void init() { SetJpegDecodeBudget(0); }

    void readAheadShowsWhatALoadShows_data()
    {
        QTest::addColumn<int>("c");
        QTest::addColumn<bool>("used");
        QTest::newRow("normal picture differs from its load") << int(NormalPicture) << true;
        QTest::newRow("normal damaged header loses its error") << int(NormalHeaderDamaged) << false;
        QTest::newRow("normal decode failure loses its report") << int(NormalFailsInPaint) << false;
        QTest::newRow("normal file replaced shows the old picture") << int(NormalReplaced) << false;
        QTest::newRow("light picture leaves another seed") << int(LightPicture) << true;
        QTest::newRow("light wrong key loses Decrypt Fail") << int(LightWrongKey) << false;
        QTest::newRow("light file replaced shows the old picture") << int(LightReplaced) << false;
        QTest::newRow("strong picture differs from its load") << int(StrongPicture) << true;
        QTest::newRow("strong key not derived yet is derived on the worker") << int(StrongOtherPassphrase) << false;
        QTest::newRow("strong file replaced shows the old picture") << int(StrongReplaced) << false;
    }
    void readAheadShowsWhatALoadShows()
    {
        QFETCH(int, c);
        QFETCH(bool, used);
        const Seen direct = Browse(Case(c), false);
        const Seen ahead = Browse(Case(c), true);
        QCOMPARE(direct.hits, 0u);
        QCOMPARE(ahead.hits, used ? 1u : 0u);
        QCOMPARE(ahead.status, direct.status);
        QCOMPARE(ahead.error, direct.error);
        QCOMPARE(ahead.dialogs, direct.dialogs);
        QCOMPARE(ahead.pane, direct.pane);
        QCOMPARE(ahead.seed, direct.seed);
        QVERIFY(!direct.noiseAfter.isNull());
        QCOMPARE(ahead.noiseAfter, direct.noiseAfter);
    }

    void staleReadAheadNeverShows_data()
    {
        QTest::addColumn<int>("stale");
        QTest::newRow("new light key shows the old key's picture") << int(KeyChanged);
        QTest::newRow("new passphrase shows the old one's picture") << int(PassphraseChanged);
        QTest::newRow("normal view shows the decrypted picture") << int(ToNormalView);
        QTest::newRow("encrypted view shows the plain picture") << int(ToEncryptedView);
        QTest::newRow("other folder shows the first folder's picture") << int(FolderChanged);
        QTest::newRow("new mask shows a file it hides") << int(MaskChanged);
    }
    void staleReadAheadNeverShows()
    {
        QFETCH(int, stale);
        const Seen direct = StepAfterChange(Stale(stale), false);
        const Seen ahead = StepAfterChange(Stale(stale), true);
        QCOMPARE(ahead.held, std::size_t(1));
        QCOMPARE(ahead.hits, 0u);
        QCOMPARE(ahead.status, direct.status);
        QCOMPARE(ahead.error, direct.error);
        QCOMPARE(ahead.pane, direct.pane);
    }

    void browsingEncryptedWritesNothing()
    {
        TestFolder folder;
        for (int i = 0; i < 4; ++i)
            AddLight(folder, "l" + std::to_string(i) + ".Bin", MakeJpeg(200 + i, 150));
        AddStrong(folder, {{"s0.Bin", MakeJpeg(120, 90)}, {"s1.Bin", MakeJpeg(90, 120)}});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        UseView(*window, true);
        window->DecryptionKey = kKey;
        window->ImgCrypt->Strong.SetPassphrase(kPassphrase);

        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        const std::uint32_t writes = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE;
        QVERIFY(::inotify_add_watch(watch, folder.Root().c_str(), writes) >= 0);
        if (g_privateTmp)
            QVERIFY(::inotify_add_watch(watch, "/tmp", writes) >= 0);

        ClickItem(*window, "l0.Bin");
        const int count = window->FileListBox1->Count();
        for (int step = 1; step < 2 * count; ++step) {
            window->Prefetch()->WaitIdle();
            QVERIFY(window->Prefetch()->HeldPictures() <= viewer::kPrefetchPictures);
            QTest::keyClick(window->FileListBox1, step < count ? Qt::Key_Down : Qt::Key_Up);
            QVERIFY2(window->LastDisplayError().isEmpty(), qPrintable(window->LastDisplayError()));
        }
        window->Prefetch()->WaitIdle();
        QVERIFY(window->PrefetchHits() >= unsigned(count));

        alignas(inotify_event) char buffer[4096];
        QStringList written;
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                written << QString::fromUtf8(event->len ? event->name : "?");
                p += sizeof(inotify_event) + event->len;
            }
        }
        ::close(watch);
        QVERIFY2(written.isEmpty(), qPrintable(written.join(", ")));
        if (!g_privateTmp)
            QSKIP("the folder stayed unwritten; /tmp is watched only as root, in a /tmp of the test's own");
    }

    void windowGoesWithAReadInFlight_data()
    {
        QTest::addColumn<bool>("exit");
        QTest::newRow("closing the window crashes") << false;
        QTest::newRow("exit's wipe crashes") << true;
    }
    void windowGoesWithAReadInFlight()
    {
        QFETCH(bool, exit);
        TestFolder folder;
        folder.AddJpeg("a.jpg", 16, 16);
        // Large enough that its decode is still running when the window goes.
        folder.Add("b.jpg", MakeJpeg(3000, 2000, false, true));
        for (int round = 0; round < 3; ++round) {
            auto window = ShowMain(folder);
            window->FitToWindow1->setChecked(false);
            ClickItem(*window, "a.jpg");
            if (exit) {
                window->WipeSecrets();
                QVERIFY(!window->Prefetch());
            }
            window.reset();
        }
    }
};

// The test gets a /tmp of its own (as root: a tmpfs in a mount namespace
// made before any thread exists), so watching /tmp sees only its writes.
int main(int argc, char** argv)
{
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount("tmpfs", "/tmp", "tmpfs", 0, "size=64m") == 0) {
        g_privateTmp = true;
        ::setenv("TMPDIR", "/tmp", 1);
    }
    mg::Application app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestPrefetch test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_prefetch.moc"
