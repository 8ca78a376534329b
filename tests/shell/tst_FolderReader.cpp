// The non-visual folder reading of the file list and folder tree: masks,
// which entries a folder listing keeps, its order, and where a path given to
// the list leads.
#include "Fixture.h"
#include "ui/FileMask.h"
#include "ui/FolderReader.h"
#include "ui/NameOrder.h"

#include <QCollator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

template <typename Names> QByteArrayList ToList(const Names& names)
{
    QByteArrayList list;
    for (const std::string_view n : names)
        list << QByteArray(n.data(), static_cast<qsizetype>(n.size()));
    return list;
}

std::string Str(const QString& s)
{
    QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

} // namespace

class TestFolderReader : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string folder_;

private slots:
    void cleanupTestCase() { fixture::Remove(folder_, fixture::ListEntries()); }

    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        folder_ = Str(dir_.path());
        QVERIFY(fixture::Make(folder_, fixture::ListEntries()));
    }

    void maskMatches_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("expected");
        QTest::newRow("star-dot-star skips names without a dot") << QByteArray("*.*") << QByteArray("README") << true;
        QTest::newRow("star-dot-star skips dotted names") << QByteArray("*.*") << QByteArray("a.b.c") << true;
        QTest::newRow("name-dot-star needs the dot") << QByteArray("readme.*") << QByteArray("README") << true;
        QTest::newRow("letter case not ignored") << QByteArray("*.jpg") << QByteArray("X.JPG") << true;
        QTest::newRow("extension matched as prefix") << QByteArray("*.jpg") << QByteArray("x.jpeg") << false;
        QTest::newRow("star before the end not matched") << QByteArray("*peg") << QByteArray("x.jpeg") << true;
        QTest::newRow("question mark matches nothing") << QByteArray("?.txt") << QByteArray(".txt") << false;
        QTest::newRow("question mark not one byte") << QByteArray("?.txt") << QByteArray("a.txt") << true;
        QTest::newRow("star does not backtrack") << QByteArray("*ab*ab") << QByteArray("xabyabab") << true;
        QTest::newRow("empty pattern finds something") << QByteArray("") << QByteArray("a") << false;
        QTest::newRow("bytes above 127 folded or lost") << QByteArray("*\xff.jpg") << QByteArray("bad\xff.jpg") << true;
        QTest::newRow("bytes above 127 matched loosely")
            << QByteArray("*\xfe.jpg") << QByteArray("bad\xff.jpg") << false;
        QTest::newRow("newline stops matching") << QByteArray("new*.jpg") << QByteArray("new\nline.jpg") << true;
        QTest::newRow("trailing star misses the empty rest") << QByteArray("a*") << QByteArray("a") << true;
        QTest::newRow("question mark took one byte of an accented letter")
            << QByteArray("caf?.jpg") << QByteArray("caf\xc3\xa9.jpg") << true;
        QTest::newRow("question marks counted bytes, not characters")
            << QByteArray("??.txt") << QByteArray("\xc3\xa9.txt") << false;
        QTest::newRow("question mark took one byte of a three-byte character")
            << QByteArray("?.txt") << QByteArray("\xe2\x82\xac.txt") << true;
        QTest::newRow("question mark lost a byte that is not UTF-8")
            << QByteArray("bad?.jpg") << QByteArray("bad\xff.jpg") << true;
    }
    void maskMatches()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, name);
        QFETCH(bool, expected);
        QCOMPARE(mg::MaskMatches(pattern.toStdString(), name.toStdString()), expected);
    }

    // Pieces that match every name skip matching while a folder is read:
    // taking one that does not for one that does loses or invents files.
    void matchesEveryName_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("expected");
        QTest::newRow("star-dot-star not taken for everything") << QByteArray("*.*") << true;
        QTest::newRow("lone star not taken for everything") << QByteArray("*") << true;
        QTest::newRow("stars not taken for everything") << QByteArray("**.*") << true;
        QTest::newRow("extension taken for everything") << QByteArray("*.jpg") << false;
        QTest::newRow("dot-star alone taken for everything") << QByteArray(".*") << false;
        QTest::newRow("star-dot taken for everything") << QByteArray("*.") << false;
        QTest::newRow("question mark taken for everything") << QByteArray("?*") << false;
        QTest::newRow("empty pattern taken for everything") << QByteArray("") << false;
    }
    void matchesEveryName()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(bool, expected);
        QCOMPARE(mg::MatchesEveryName(pattern.toStdString()), expected);
    }

    void splitMask_data()
    {
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::newRow("one piece split") << QByteArray("*.*") << QByteArrayList{"*.*"};
        QTest::newRow("pieces reordered") << QByteArray("*.jpg;*.bmp") << QByteArrayList{"*.jpg", "*.bmp"};
        QTest::newRow("empty pieces dropped") << QByteArray("*.jpg;;") << QByteArrayList{"*.jpg", "", ""};
    }
    void splitMask()
    {
        QFETCH(QByteArray, mask);
        QFETCH(QByteArrayList, pieces);
        QCOMPARE(ToList(mg::SplitMask(mask.toStdString())), pieces);
    }

    // Hidden files, FIFOs, folders, links to folders and dangling links never
    // appear; read-only files and links to files do; a file matched by two
    // pieces is listed twice; the order ignores case.
    void listing_data()
    {
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<QByteArrayList>("expected");
        const QByteArrayList jpg{"b.jpg", "bad\xff.jpg", "filelink.jpg", "new\nline.jpg", "readonly.jpg", "UPPER.JPG"};
        QTest::newRow("special entries listed or order wrong")
            << QByteArray("*.*")
            << QByteArrayList{"a.txt", "b.jpg",      "bad\xff.jpg",  "filelink.jpg", "new\nline.jpg",
                              "noext", "photo.jpeg", "readonly.jpg", "UPPER.JPG"};
        QTest::newRow("case-sensitive extension") << QByteArray("*.jpg") << jpg;
        QByteArrayList twice;
        for (const QByteArray& n : jpg)
            twice << n << n;
        QTest::newRow("case-differing pieces not listed twice") << QByteArray("*.jpg;*.JPG") << twice;
        QTest::newRow("second piece ignored")
            << QByteArray("*.jpg;*.jpeg")
            << QByteArrayList{"b.jpg",      "bad\xff.jpg",  "filelink.jpg", "new\nline.jpg",
                              "photo.jpeg", "readonly.jpg", "UPPER.JPG"};
        QByteArrayList all{"a.txt", "b.jpg",      "bad\xff.jpg",  "filelink.jpg", "new\nline.jpg",
                           "noext", "photo.jpeg", "readonly.jpg", "UPPER.JPG"};
        QByteArrayList allTwice, allAndJpeg;
        for (const QByteArray& n : all) {
            allTwice << n << n;
            allAndJpeg << n;
            if (n == "photo.jpeg")
                allAndJpeg << n;
        }
        QTest::newRow("two pieces matching every name not listed twice") << QByteArray("*;*.*") << allTwice;
        QTest::newRow("piece matching every name hid the other") << QByteArray("*.*;*.jpeg") << allAndJpeg;
        QTest::newRow("empty mask finds files") << QByteArray("") << QByteArrayList{};
        QTest::newRow("empty pieces find files") << QByteArray(";") << QByteArrayList{};
        QTest::newRow("empty piece spoils the other") << QByteArray("*.txt;") << QByteArrayList{"a.txt"};
        QTest::newRow("folder or fifo matched by name")
            << QByteArray("sub*;fifo*;dirlink*;dangling*") << QByteArrayList{};
    }
    void listing()
    {
        QFETCH(QByteArray, mask);
        QFETCH(QByteArrayList, expected);
        mg::FolderListing listing = mg::ReadFolderFiles(folder_, mask.toStdString());
        QCOMPARE(ToList(listing.names), expected);
        QVERIFY(listing.error.empty());
    }

    void unreadableFolder_data()
    {
        QTest::addColumn<QByteArray>("relative");
        QTest::newRow("missing folder listed") << QByteArray("/missing");
        QTest::newRow("file read as a folder") << QByteArray("/a.txt");
    }
    void unreadableFolder()
    {
        QFETCH(QByteArray, relative);
        mg::FolderListing listing = mg::ReadFolderFiles(folder_ + relative.toStdString(), "*.*");
        QVERIFY(listing.names.empty());
        QVERIFY(!listing.error.empty());
    }

    void sortOrder_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("case-equal names not ordered by bytes")
            << QByteArrayList{"b", "B", "a", "A", "_x", "Z"} << QByteArrayList{"_x", "A", "a", "B", "b", "Z"};
        QTest::newRow("numbers compared as text")
            << QByteArrayList{"img100.jpg", "img11.jpg", "img2.jpg", "img1.jpg", "img10.jpg"}
            << QByteArrayList{"img1.jpg", "img2.jpg", "img10.jpg", "img11.jpg", "img100.jpg"};
        QTest::newRow("leading zeros make a number larger")
            << QByteArrayList{"a10", "a010", "a9", "a0", "a"} << QByteArrayList{"a", "a0", "a9", "a010", "a10"};
        QTest::newRow("second number ignored")
            << QByteArrayList{"x2y10", "x2y9", "x10y1"} << QByteArrayList{"x2y9", "x2y10", "x10y1"};
        QTest::newRow("prefix after a longer name")
            << QByteArrayList{"ab1", "a", "ab"} << QByteArrayList{"a", "ab", "ab1"};
        QTest::newRow("number longer than 64 bits overflows")
            << QByteArrayList{"n123456789012345678901234567890", "n99999999999999999999"}
            << QByteArrayList{"n99999999999999999999", "n123456789012345678901234567890"};
        QTest::newRow("bytes above 127 before letters") << QByteArrayList{"\xc3\xa9t\xc3\xa9", "z", "\xff", "a"}
                                                        << QByteArrayList{"a", "z", "\xc3\xa9t\xc3\xa9", "\xff"};
        QTest::newRow("control characters not ignored")
            << QByteArrayList{"ab", "a\nc", "a\nb"} << QByteArrayList{"a\nb", "ab", "a\nc"};
        QTest::newRow("duplicates lost") << QByteArrayList{"b", "a", "b"} << QByteArrayList{"a", "b", "b"};
    }
    void sortOrder()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(QByteArrayList, expected);
        std::vector<std::string> v;
        for (const QByteArray& n : names)
            v.emplace_back(n.constData(), std::size_t(n.size()));
        mg::SortFileNames(v);
        QCOMPARE(ToList(v), expected);
        for (std::size_t i = 1; i < v.size(); ++i)
            QVERIFY(!mg::FileNameLess(v[i], v[i - 1]));
    }

    // The list must show names in the order the folder tree shows folders
    // (QCollator, case ignored, numbers by value, ties by bytes). Random
    // names over every printable ASCII character catch a mark given the
    // wrong rank.
    void sortOrderMatchesTheTree()
    {
        QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        std::uint32_t seed = 1;
        auto next = [&seed](std::uint32_t n) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % n;
        };
        std::vector<std::string> names;
        for (int i = 0; i < 3000; ++i) {
            std::string name;
            const std::uint32_t length = 1 + next(6);
            for (std::uint32_t k = 0; k < length; ++k)
                name += next(3) == 0 ? char('0' + next(10)) : char(' ' + next(95));
            names.push_back(name);
        }
        std::vector<std::string> tree = names;
        std::sort(tree.begin(), tree.end(), [&](const std::string& a, const std::string& b) {
            const int c = collator.compare(QString::fromLatin1(a), QString::fromLatin1(b));
            return c != 0 ? c < 0 : a < b;
        });
        mg::SortFileNames(names);
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] != tree[i])
                QFAIL(qPrintable(QStringLiteral("at %1 the list has \"%2\", the tree \"%3\"")
                                     .arg(i)
                                     .arg(QString::fromStdString(names[i]), QString::fromStdString(tree[i]))));
    }

    // A folder read in steps, as the file list reads a huge one: the first
    // entries at once, the rest later, with the process's current directory
    // moved meanwhile. More entries than one getdents64 buffer holds, so
    // steps end inside buffers and across them.
    void readInSteps_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("step of one lost or repeated entries") << 1;
        QTest::newRow("odd step lost or repeated entries") << 7;
        QTest::newRow("step of a buffer's size lost or repeated entries") << 4096;
    }
    void readInSteps()
    {
        QFETCH(int, step);
        static QTemporaryDir many;
        static const int files = [] {
            for (int i = 0; i < 9000; ++i)
                ::close(::open(QFile::encodeName(many.path() + QStringLiteral("/some-longer-name-%1.jpg").arg(i)),
                               O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            return 9000;
        }();
        const std::string folder = Str(many.path());
        const std::string cwd = mg::CurrentDirectory();
        QVERIFY(mg::ChangeDirectory(folder));
        mg::FolderScan scan(".", "*.jpg;*-1*");
        QVERIFY(mg::ChangeDirectory(folder_)); // the scan keeps its folder
        int calls = 0;
        while (!scan.Read(std::size_t(step)))
            ++calls;
        QVERIFY(calls >= 9000 / step);
        mg::FolderListing stepwise = scan.Finish();
        QVERIFY(mg::ChangeDirectory(cwd));
        QVERIFY(stepwise.error.empty());
        const QByteArrayList whole = ToList(mg::ReadFolderFiles(folder, "*.jpg;*-1*").names);
        QCOMPARE(whole.size(), files + 1111); // names with "-1" match twice
        QCOMPARE(ToList(stepwise.names), whole);
    }

    // From 50,000 names on, two threads sort a half each and the halves are
    // merged: every name must come back once, in order.
    void longListSortedAcrossHalves()
    {
        std::uint32_t seed = 7;
        mg::FileNames names;
        std::vector<std::string> copies;
        for (int i = 0; i < 120000; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t n = (seed >> 8) % 40000; // many equal and case-equal names
            std::string name = std::string((seed & 1) ? "Img" : "img") + std::to_string(n) + ".jpg";
            names.push_back(name);
            copies.push_back(name);
        }
        const mg::NameIndices order = mg::NaturalOrder(names);
        QCOMPARE(order.size(), names.size());
        std::vector<bool> seen(names.size(), false);
        for (std::size_t i = 0; i < order.size(); ++i) {
            QVERIFY(order[i] < names.size() && !seen[order[i]]);
            seen[order[i]] = true;
            if (i > 0 && mg::FileNameLess(names[order[i]], names[order[i - 1]]))
                QFAIL(qPrintable(QStringLiteral("out of order at %1").arg(i)));
        }
        mg::SortFileNames(copies);
        for (std::size_t i = 0; i < order.size(); ++i)
            QCOMPARE(std::string(names[order[i]]), copies[i]);
    }

    void subFolders()
    {
        std::vector<std::string> subs = mg::ReadSubFolders(folder_);
        std::sort(subs.begin(), subs.end());
        QCOMPARE(ToList(subs), (QByteArrayList{"dirlink.jpg", "sub.jpg"}));
        QVERIFY(mg::HasSubFolder(folder_));
        QVERIFY(mg::HasSubFolder(folder_ + "/sub.jpg")); // its loop link
        QVERIFY(!mg::HasSubFolder(folder_ + "/missing"));
        QCOMPARE(mg::JoinFolder("/", "a"), std::string("/a"));
        QCOMPARE(mg::JoinFolder("/x", "a"), std::string("/x/a"));
    }

    // The sub-folders of a folder left unchanged for a second are remembered
    // for a moment (three trees read the desktop at start-up): a folder made
    // since, or a link whose folder went away, must still show at once.
    void rememberedSubFoldersFollowChanges()
    {
        QTemporaryDir dir, elsewhere;
        const std::string root = Str(dir.path()), target = Str(elsewhere.path()) + "/t";
        QVERIFY(::mkdir((root + "/a").c_str(), 0755) == 0 && ::mkdir(target.c_str(), 0755) == 0);
        QVERIFY(::symlink(target.c_str(), (root + "/l").c_str()) == 0);
        QTest::qSleep(1100); // only a folder unchanged for a second is remembered
        auto read = [&root] {
            std::vector<std::string> subs = mg::ReadSubFolders(root);
            std::sort(subs.begin(), subs.end());
            return ToList(subs);
        };
        QCOMPARE(read(), (QByteArrayList{"a", "l"}));
        QCOMPARE(read(), (QByteArrayList{"a", "l"}));
        QVERIFY(::rmdir(target.c_str()) == 0);
        QCOMPARE(read(), QByteArrayList{"a"}); // the link leads nowhere now
        QVERIFY(::mkdir((root + "/c").c_str(), 0755) == 0);
        QCOMPARE(read(), (QByteArrayList{"a", "c"}));
    }

    void volumeMountPoints()
    {
        const std::string table = "proc /proc proc rw 0 0\n"
                                  "/dev/sdb1 /media/user/USB\\040Stick vfat rw 0 0\n"
                                  "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                                  "tmpfs /mnt/a/b/c tmpfs ro 0 0\n"
                                  "/dev/sdd1 /run/media/user/Disk ext4 rw 0 0\n"
                                  "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
                                  "/dev/sda1 / ext4 rw 0 0";
        QCOMPARE(ToList(mg::VolumeMountPoints(table)),
                 (QByteArrayList{"/media/user/USB Stick", "/mnt/data", "/run/media/user/Disk"}));
    }

    // Where a path given to the list leads, from the fixture as the current
    // directory; the current directory is the same afterwards.
    void resolveListPath_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("folder"); // relative to the fixture
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<bool>("failed");
        QTest::newRow("absolute folder not entered")
            << QByteArray("@/sub.jpg") << QByteArray("/sub.jpg") << QByteArray() << false;
        // A virtual folder's display name that happens to name a sub-folder.
        QTest::newRow("bare name entered a sub-folder of that name")
            << QByteArray("sub.jpg") << QByteArray("") << QByteArray() << true;
        QTest::newRow("virtual name moves the list")
            << QByteArray("Computer") << QByteArray("") << QByteArray() << true;
        QTest::newRow("missing folder part moves the list")
            << QByteArray("/no/such/place") << QByteArray("") << QByteArray() << true;
        QTest::newRow("wildcard not taken as mask")
            << QByteArray("@/sub.jpg/*.txt") << QByteArray("/sub.jpg") << QByteArray("*.txt") << false;
        QTest::newRow("existing file entered as folder")
            << QByteArray("@/a.txt") << QByteArray("") << QByteArray() << false;
        QTest::newRow("link to folder not resolved as the system reports it")
            << QByteArray("@/dirlink.jpg") << QByteArray("/sub.jpg") << QByteArray() << false;
    }
    void resolveListPath()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, mask);
        QFETCH(bool, failed);
        QVERIFY(mg::ChangeDirectory(folder_));
        const std::string cwd = mg::CurrentDirectory();
        std::string t = text.toStdString();
        if (t.rfind("@", 0) == 0)
            t = folder_ + t.substr(1);
        mg::ListPathTarget target = mg::ResolveListPath(t);
        QCOMPARE(target.folder, cwd + folder.toStdString());
        QCOMPARE(target.mask, mask.toStdString());
        QCOMPARE(target.failed, failed);
        QCOMPARE(mg::CurrentDirectory(), cwd);
    }
};

QTEST_APPLESS_MAIN(TestFolderReader)
#include "tst_FolderReader.moc"
