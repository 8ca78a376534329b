// Output file naming of the encrypt and decrypt batches, with a fixed clock.
#include "batch/OutputNaming.h"
#include "cipher/passKey.h"

#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

using namespace mg::naming;

namespace {

const LocalTime kFixed{2024, 1, 15, 9, 30, 45, 123};
const std::string kStamp = "20240115093045123.";

// A clock that counts how often it is read.
struct CountingClock {
    int reads = 0;
    Clock Get()
    {
        return [this] {
            ++reads;
            return kFixed;
        };
    }
};

enum Mode { TimeBased, KeepExisting, Rot13Mode };

QByteArray B(const std::string& s)
{
    return QByteArray::fromStdString(s);
}

} // namespace

class TestNaming : public QObject {
    Q_OBJECT

private slots:
    void timeStamp_data();
    void timeStamp();
    void localClockIsPlausible();
    void nameOf_data();
    void nameOf();
    void stemOf_data();
    void stemOf();
    void sourcePath_data();
    void sourcePath();
    void encryptName_data();
    void encryptName();
    void decryptName_data();
    void decryptName();
    void clockReadOnlyForStamps();
    void rot13TwiceIsIdentity_data();
    void rot13TwiceIsIdentity();
    void collisions_data();
    void collisions();
    void skippedFileDoesNotPushNamesAside();
    void inPlaceReplacementKeepsItsName();
    void renamedNameSkipsFilesOnDiskAndPendingSources();
};

void TestNaming::timeStamp_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("mo");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("mi");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("ms");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("worked example") << 2024 << 1 << 15 << 9 << 30 << 45 << 123 << QByteArray("20240115093045123.");
    QTest::newRow("zeros padded everywhere") << 2005 << 2 << 3 << 4 << 5 << 6 << 7 << QByteArray("20050203040506007.");
    QTest::newRow("24-hour clock, last millisecond")
        << 1999 << 12 << 31 << 23 << 59 << 59 << 999 << QByteArray("19991231235959999.");
    QTest::newRow("midnight, first millisecond")
        << 2030 << 7 << 1 << 0 << 0 << 0 << 0 << QByteArray("20300701000000000.");
}

void TestNaming::timeStamp()
{
    QFETCH(int, y);
    QFETCH(int, mo);
    QFETCH(int, d);
    QFETCH(int, h);
    QFETCH(int, mi);
    QFETCH(int, s);
    QFETCH(int, ms);
    QFETCH(QByteArray, expected);
    const std::string got = TimeStamp(LocalTime{y, mo, d, h, mi, s, ms});
    QCOMPARE(B(got), expected);
    QCOMPARE(got.size(), std::size_t(18));
}

void TestNaming::localClockIsPlausible()
{
    const QDateTime before = QDateTime::currentDateTime();
    const LocalTime t = ReadLocalClock();
    const QDateTime after = QDateTime::currentDateTime();
    const QDateTime read(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, t.millisecond));
    QVERIFY(read.isValid());
    // Local wall-clock time, not UTC: it lies between two local readings.
    QVERIFY(read >= before.addMSecs(-1));
    QVERIFY(read <= after.addMSecs(1));
}

void TestNaming::nameOf_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain path") << QByteArray("/home/u/photo.jpg") << QByteArray("photo.jpg");
    QTest::newRow("colon is an ordinary character") << QByteArray("/home/u/a:b.jpg") << QByteArray("a:b.jpg");
    QTest::newRow("doubled slash at the root") << QByteArray("//photo.jpg") << QByteArray("photo.jpg");
    QTest::newRow("no slash at all") << QByteArray("photo.jpg") << QByteArray("photo.jpg");
    QTest::newRow("bytes that are not UTF-8 kept") << QByteArray("/x/\xe9t\xe9.jpg") << QByteArray("\xe9t\xe9.jpg");
}

void TestNaming::nameOf()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, name);
    QCOMPARE(B(NameOf(path.toStdString())), name);
}

void TestNaming::stemOf_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("stem");
    QTest::newRow("one dot") << QByteArray("photo.jpg") << QByteArray("photo.");
    QTest::newRow("several dots end at the first") << QByteArray("Holiday.2019.jpeg") << QByteArray("Holiday.");
    QTest::newRow("leading dot is the stem alone") << QByteArray(".hidden.jpg") << QByteArray(".");
    QTest::newRow("no dot keeps the whole name") << QByteArray("README") << QByteArray("README.");
    QTest::newRow("trailing dot") << QByteArray("photo.") << QByteArray("photo.");
}

void TestNaming::stemOf()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, stem);
    QCOMPARE(B(StemOf(name.toStdString())), stem);
}

void TestNaming::sourcePath_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("ordinary folder") << QByteArray("/home/u/Pictures") << QByteArray("photo.jpg")
                                     << QByteArray("/home/u/Pictures/photo.jpg");
    QTest::newRow("root gives two slashes") << QByteArray("/") << QByteArray("photo.jpg") << QByteArray("//photo.jpg");
    QTest::newRow("folder ending in slash still gets one")
        << QByteArray("/mnt/") << QByteArray("a") << QByteArray("/mnt//a");
    QTest::newRow("empty folder begins with the slash") << QByteArray("") << QByteArray("a") << QByteArray("/a");
}

void TestNaming::sourcePath()
{
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, item);
    QFETCH(QByteArray, path);
    QCOMPARE(B(SourcePath(folder.toStdString(), item.toStdString())), path);
    // The name read back from the built path is the item itself.
    QCOMPARE(B(NameOf(SourcePath(folder.toStdString(), item.toStdString()))), item);
}

void TestNaming::encryptName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("keepExtension");
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QByteArray>("expected");

    struct Row {
        const char* name;
        const char* out[6];
    };
    // Columns: time-based, keep existing, keep existing + keep extension,
    // ROT-13, ROT-13 + keep extension (time-based + keep extension is the
    // same as time-based). A stem ends before the name's first dot.
    const Row table[] = {
        {"beach.jpg",
         {"20240115093045123.Bin", "20240115093045123.Bin", "beach.Bin", "beach.jpg.Bin", "ornpu.Bin",
          "ornpu.wct.Bin"}},
        {"Garden.2021.jpeg",
         {"20240115093045123.Bin", "20240115093045123.Bin", "Garden.Bin", "Garden.2021.jpeg.Bin", "Tneqra.Bin",
          "Tneqra.2021.wcrt.Bin"}},
        {"Zebra.JPG",
         {"20240115093045123.Bin", "20240115093045123.Bin", "Zebra.Bin", "Zebra.JPG.Bin", "Mroen.Bin",
          "Mroen.WCT.Bin"}},
        {"README",
         {"20240115093045123.Bin", "20240115093045123.Bin", "README.Bin", "README.Bin", "ERNQZR.Bin", "ERNQZR.Bin"}},
    };
    const struct {
        int mode;
        bool keep;
        const char* label;
    } cols[] = {
        {TimeBased, false, "time-based"},
        {TimeBased, true, "time-based + keep ext changes nothing"},
        {KeepExisting, false, "keep existing"},
        {KeepExisting, true, "keep existing + keep ext"},
        {Rot13Mode, false, "rot13"},
        {Rot13Mode, true, "rot13 + keep ext"},
    };
    for (const Row& r : table)
        for (int c = 0; c < 6; ++c)
            QTest::addRow("%s: %s", r.name, cols[c].label)
                << QByteArray(r.name) << cols[c].mode << cols[c].keep << QByteArray("Bin") << QByteArray(r.out[c]);

    QTest::newRow("leading dot: stem is the dot alone")
        << QByteArray(".hidden.jpg") << int(KeepExisting) << false << QByteArray("Bin") << QByteArray(".Bin");
    QTest::newRow("leading dot under rot13")
        << QByteArray(".hidden.jpg") << int(Rot13Mode) << false << QByteArray("Bin") << QByteArray(".Bin");
    QTest::newRow("empty extension, stem rule ends with the dot")
        << QByteArray("photo.jpg") << int(KeepExisting) << false << QByteArray("") << QByteArray("photo.");
    QTest::newRow("empty extension, keep extension")
        << QByteArray("photo.jpg") << int(KeepExisting) << true << QByteArray("") << QByteArray("photo.jpg.");
    QTest::newRow("empty extension, stamp alone")
        << QByteArray("photo.jpg") << int(TimeBased) << false << QByteArray("") << QByteArray("20240115093045123.");
    QTest::newRow("extension beginning with a dot gives two dots")
        << QByteArray("photo.jpg") << int(KeepExisting) << false << QByteArray(".bin") << QByteArray("photo..bin");
    QTest::newRow("extension used exactly, spaces and case kept")
        << QByteArray("photo.jpg") << int(KeepExisting) << false << QByteArray(" bIN ") << QByteArray("photo. bIN ");
    QTest::newRow("rot13 leaves digits and high bytes")
        << QByteArray("Ab9\xe9z.x") << int(Rot13Mode) << true << QByteArray("Bin") << QByteArray("No9\xe9m.k.Bin");
}

void TestNaming::encryptName()
{
    QFETCH(QByteArray, name);
    QFETCH(int, mode);
    QFETCH(bool, keepExtension);
    QFETCH(QByteArray, extension);
    QFETCH(QByteArray, expected);
    EncryptSettings s;
    s.timeBased = mode == TimeBased;
    s.rot13 = mode == Rot13Mode;
    s.keepExtension = keepExtension;
    s.extension = extension.toStdString();
    CountingClock clock;
    const OutputName out = EncryptOutputName(name.toStdString(), s, clock.Get());
    QCOMPARE(B(out.Text()), expected);
    QCOMPARE(B(out.extension), extension);
    QCOMPARE(B(DestinationPath("/d", out)), "/d/" + expected);
}

void TestNaming::decryptName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("useDateTime");
    QTest::addColumn<bool>("keepExtension");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("cubgb.Bin: chrono") << QByteArray("cubgb.Bin") << true << false
                                       << QByteArray("20240115093045123.JPG");
    QTest::newRow("cubgb.Bin: neither") << QByteArray("cubgb.Bin") << false << false << QByteArray("cubgb.JPG");
    QTest::newRow("cubgb.Bin: keep extension")
        << QByteArray("cubgb.Bin") << false << true << QByteArray("cubgb.Bin.JPG");
    QTest::newRow("photo.jpg.Bin: chrono")
        << QByteArray("photo.jpg.Bin") << true << false << QByteArray("20240115093045123.JPG");
    QTest::newRow("photo.jpg.Bin: neither") << QByteArray("photo.jpg.Bin") << false << false << QByteArray("photo.JPG");
    QTest::newRow("photo.jpg.Bin: keep extension")
        << QByteArray("photo.jpg.Bin") << false << true << QByteArray("photo.jpg.Bin.JPG");
    QTest::newRow("stamp name: chrono gives the new stamp")
        << QByteArray("20991231235959999.Bin") << true << false << QByteArray("20240115093045123.JPG");
    QTest::newRow("stamp name: neither") << QByteArray("20240115093045123.Bin") << false << false
                                         << QByteArray("20240115093045123.JPG");
    QTest::newRow("stamp name: keep extension")
        << QByteArray("20240115093045123.Bin") << false << true << QByteArray("20240115093045123.Bin.JPG");
    QTest::newRow("chrono wins over keep extension")
        << QByteArray("cubgb.Bin") << true << true << QByteArray("20240115093045123.JPG");
    QTest::newRow("no rot13 when decrypting")
        << QByteArray("cubgb.wct.Bin") << false << true << QByteArray("cubgb.wct.Bin.JPG");
    QTest::newRow("name without a dot keeps its name")
        << QByteArray("README") << false << false << QByteArray("README.JPG");
}

void TestNaming::decryptName()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, useDateTime);
    QFETCH(bool, keepExtension);
    QFETCH(QByteArray, expected);
    DecryptSettings s;
    s.useDateTime = useDateTime;
    s.keepExtension = keepExtension;
    CountingClock clock;
    QCOMPARE(B(DecryptOutputName(name.toStdString(), s, clock.Get()).Text()), expected);
    QCOMPARE(clock.reads, useDateTime ? 1 : 0);
}

void TestNaming::clockReadOnlyForStamps()
{
    CountingClock clock;
    EncryptSettings s;
    s.timeBased = false;
    EncryptOutputName("photo.jpg", s, clock.Get());
    QCOMPARE(clock.reads, 0);
    s.timeBased = true;
    s.rot13 = true; // cannot happen in the window, but the stamp decides first
    QCOMPARE(B(EncryptOutputName("photo.jpg", s, clock.Get()).Text()), QByteArray("20240115093045123.Bin"));
    QCOMPARE(clock.reads, 1);
}

void TestNaming::rot13TwiceIsIdentity_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("letters of both cases") << QByteArray("AaMmNnZz.Holiday.2019.jpeg");
    QTest::newRow("every byte value") << [] {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        return all;
    }();
    QTest::newRow("empty") << QByteArray();
}

void TestNaming::rot13TwiceIsIdentity()
{
    QFETCH(QByteArray, text);
    const std::string once = mg::Rot13(text.toStdString());
    QCOMPARE(once.size(), std::size_t(text.size()));
    QCOMPARE(B(mg::Rot13(once)), text);
    // The stem of the turned name ends where the stem of the name ended.
    QCOMPARE(StemOf(once).size(), StemOf(text.toStdString()).size());
}

void TestNaming::collisions_data()
{
    // Each row is one batch into /out: the names of its files in list order,
    // all written, and the destinations the batch must use.
    QTest::addColumn<QByteArrayList>("items");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("equal stamps within one clock reading")
        << QByteArrayList{"a.jpg", "b.jpg", "c.jpg"} << int(TimeBased) << QByteArray("Bin")
        << QByteArrayList{"/out/20240115093045123.Bin", "/out/20240115093045123-2.Bin", "/out/20240115093045123-3.Bin"};
    QTest::newRow("photo.jpg and photo.png share a stem")
        << QByteArrayList{"photo.jpg", "photo.png"} << int(KeepExisting) << QByteArray("Bin")
        << QByteArrayList{"/out/photo.Bin", "/out/photo-2.Bin"};
    QTest::newRow("names without a dot and with one meet")
        << QByteArrayList{"README", "README.txt"} << int(KeepExisting) << QByteArray("Bin")
        << QByteArrayList{"/out/README.Bin", "/out/README-2.Bin"};
    QTest::newRow("counter goes before a dotted extension text")
        << QByteArrayList{"photo.jpg", "photo.png"} << int(KeepExisting) << QByteArray(".bin")
        << QByteArrayList{"/out/photo..bin", "/out/photo-2..bin"};
    QTest::newRow("renamed name taken later by a real one")
        << QByteArrayList{"photo.jpg", "photo.png", "photo-2.gif"} << int(KeepExisting) << QByteArray("Bin")
        << QByteArrayList{"/out/photo.Bin", "/out/photo-2.Bin", "/out/photo-2-2.Bin"};
    QTest::newRow("leading-dot names") << QByteArrayList{".a.jpg", ".b.jpg"} << int(Rot13Mode) << QByteArray("Bin")
                                       << QByteArrayList{"/out/.Bin", "/out/-2.Bin"};
    QTest::newRow("distinct names left alone") << QByteArrayList{"a.jpg", "b.jpg"} << int(KeepExisting)
                                               << QByteArray("Bin") << QByteArrayList{"/out/a.Bin", "/out/b.Bin"};
}

void TestNaming::collisions()
{
    QFETCH(QByteArrayList, items);
    QFETCH(int, mode);
    QFETCH(QByteArray, extension);
    QFETCH(QByteArrayList, expected);
    EncryptSettings s;
    s.timeBased = mode == TimeBased;
    s.rot13 = mode == Rot13Mode;
    s.extension = extension.toStdString();
    CountingClock clock;
    BatchNames batch;
    QByteArrayList got;
    for (const QByteArray& item : items) {
        const std::string source = SourcePath("/in", item.toStdString());
        const std::string dest = batch.Destination("/out", EncryptOutputName(NameOf(source), s, clock.Get()));
        batch.MarkWritten(dest);
        got << B(dest);
    }
    QCOMPARE(got, expected);
}

void TestNaming::skippedFileDoesNotPushNamesAside()
{
    BatchNames batch;
    const OutputName out{"photo.", "Bin"};
    const std::string first = batch.Destination("/out", out);
    // The user answered No: nothing written, nothing recorded.
    QCOMPARE(B(batch.Destination("/out", out)), B(first));
    batch.MarkWritten(first);
    QCOMPARE(B(batch.Destination("/out", out)), QByteArray("/out/photo-2.Bin"));
    // The root's doubled slash names the same file as a single one.
    batch.MarkWritten("//x.Bin");
    QCOMPARE(B(batch.Destination("/", OutputName{"x.", "Bin"})), QByteArray("//x-2.Bin"));
}

void TestNaming::inPlaceReplacementKeepsItsName()
{
    // Destination equal to the source: allowed, the file is replaced by its
    // encrypted form, unless this batch itself wrote that path before.
    EncryptSettings s;
    s.timeBased = false;
    s.extension = "jpg";
    CountingClock clock;
    BatchNames batch;
    const std::string source = SourcePath("/pics", "photo.jpg");
    const std::string dest = batch.Destination("/pics", EncryptOutputName(NameOf(source), s, clock.Get()));
    QCOMPARE(B(dest), B(source));
    batch.MarkWritten(dest);
    const std::string other = SourcePath("/pics", "photo.png");
    QCOMPARE(B(batch.Destination("/pics", EncryptOutputName(NameOf(other), s, clock.Get()))),
             QByteArray("/pics/photo-2.jpg"));
}

void TestNaming::renamedNameSkipsFilesOnDiskAndPendingSources()
{
    // Only a name with a counter is made up; it passes over an unrelated
    // file, a dangling link and a selected source not yet read.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string folder = dir.path().toStdString();
    QFile file(dir.filePath("photo-2.Bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QFile::link("nowhere", dir.filePath("photo-3.Bin")));
    BatchNames batch;
    batch.AddPendingSource(folder + "//photo-4.Bin");
    const OutputName out{"photo.", "Bin"};
    QCOMPARE(B(batch.Destination(folder, out)), B(folder + "/photo.Bin")); // given directly: kept
    batch.MarkWritten(folder + "/photo.Bin");
    QCOMPARE(B(batch.Destination(folder, out)), B(folder + "/photo-5.Bin"));
    batch.MarkWritten(folder + "/photo-5.Bin");
    batch.MarkProcessed(folder + "/photo-4.Bin"); // read now, and gone from disk
    QCOMPARE(B(batch.Destination(folder, out)), B(folder + "/photo-4.Bin"));
}

QTEST_GUILESS_MAIN(TestNaming)
#include "tst_naming.moc"
