// The file cipher: round trips, the edge cases of decryption, the seed it
// leaves, and safe writes under simulated write failures.
#include "TestJpeg.h"
#include "base/SafeFile.h"
#include "cipher/ImageCrypt.h"
#include "cipher/Keystream.h"

#include <QProcess>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes Xored(Bytes bytes, std::int32_t key)
{
    mg::SetSeed(key);
    mg::ApplyKeystreamSerial(bytes.data(), bytes.size());
    return bytes;
}

Bytes Pseudorandom(std::size_t n)
{
    Bytes bytes(n);
    std::uint32_t x = 99;
    for (auto& b : bytes)
        b = std::uint8_t((x = x * 1664525u + 1013904223u) >> 23);
    return bytes;
}

// A JPEG whose entropy-coded data is overwritten some way past the start of
// its first scan: the header stays intact.
Bytes DamagedJpeg()
{
    Bytes jpeg = mg::test::MakeJpeg(64, 48);
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            for (std::size_t j = i + 40; j < i + 80 && j + 2 < jpeg.size(); ++j)
                jpeg[j] = 0x5A;
            break;
        }
    }
    return jpeg;
}

// A JPEG with comment segments of `extra` bytes in all between its start
// marker and its frame header: a header far longer than one read.
Bytes LongHeaderJpeg(std::size_t extra)
{
    const Bytes jpeg = mg::test::MakeJpeg(24, 16);
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    while (extra > 0) {
        const std::size_t body = std::min<std::size_t>(extra, 65533);
        out.push_back(0xFF);
        out.push_back(0xFE);
        out.push_back(std::uint8_t((body + 2) >> 8));
        out.push_back(std::uint8_t((body + 2) & 0xFF));
        out.insert(out.end(), body, 'c');
        extra -= body;
    }
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// Bytes this process has read and written so far (the kernel's counters).
std::uint64_t IoCounter(const char* field)
{
    QFile io("/proc/self/io");
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(int(std::strlen(field)) + 1).trimmed().toULongLong();
    return 0;
}

// Bytes up to the end of the first scan header, where the entropy data begins.
std::size_t HeaderLength(const Bytes& jpeg)
{
    for (std::size_t i = 0; i + 3 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return i + 2 + (std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    return jpeg.size();
}

} // namespace

class TestImageCrypt : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void encryptTwiceRestoresPlainBytes();
    void decryptGivesJpegBytesAndPicture();
    void seedAdvancesOneStepPerByte();
    void decryptEdgeCases_data();
    void decryptEdgeCases();
    void lastEncryptedFollowsEachRead();
    void sourceNotARegularFile_data();
    void sourceNotARegularFile();
    void writeFailureKeepsDestination_data();
    void writeFailureKeepsDestination();
    void missingFolderIsWriteFailure();
    void destinationModeIsKept();
    void specialDestinations_data();
    void specialDestinations();
    void namedTemporaryGoesOnSignals_data();
    void namedTemporaryGoesOnSignals();
    void headerDecidesBeforeWriting_data();
    void headerDecidesBeforeWriting();
    void wrongKeyOnFullDiskIsWrongKey();
    void viewReadsOnlyWhatItNeeds_data();
    void viewReadsOnlyWhatItNeeds();
    void committerKeepsOrderAndStopsAtAFailure_data();
    void committerKeepsOrderAndStopsAtAFailure();
    void ownStateDecryptsAsTheSharedSeed_data();
    void ownStateDecryptsAsTheSharedSeed();
    void killedBatchLeavesWholeFilesOnly();

private:
    std::string Path(const char* name) const { return dir_->filePath(name).toStdString(); }
    QStringList Entries() const { return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    std::unique_ptr<QTemporaryDir> dir_;
    mg::TImgCrypt crypt_;
};

void TestImageCrypt::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    mg::SetSafeFileFaults({});
}

void TestImageCrypt::cleanup()
{
    mg::SetSafeFileFaults({});
    dir_.reset();
}

void TestImageCrypt::encryptTwiceRestoresPlainBytes()
{
    // More than one streaming chunk, and not a multiple of it.
    const Bytes plain = Pseudorandom(mg::TImgCrypt::kChunkBytes * 2 + 12345);
    mg::test::WriteFile(Path("plain"), plain);
    QVERIFY(crypt_.EncryptFile(Path("plain"), Path("enc"), 77));
    QVERIFY(mg::test::ReadFile(Path("enc")) == Xored(plain, 77));
    QVERIFY(crypt_.EncryptFile(Path("enc"), Path("back"), 77));
    QVERIFY(mg::test::ReadFile(Path("back")) == plain);
}

void TestImageCrypt::decryptGivesJpegBytesAndPicture()
{
    const Bytes jpeg = mg::test::MakeJpeg(40, 30);
    mg::test::WriteFile(Path("enc.jpg"), Xored(jpeg, -123456));
    QVERIFY(crypt_.DecryptFile(Path("enc.jpg"), Path("out.jpg"), -123456));
    QVERIFY(mg::test::ReadFile(Path("out.jpg")) == jpeg);
    std::unique_ptr<mg::TJPEGImage> slot;
    QVERIFY(crypt_.DecryptImage(Path("enc.jpg"), slot, -123456));
    QVERIFY(slot);
    QCOMPARE(slot->Width(), 40);
    QCOMPARE(slot->Height(), 30);
    QVERIFY(slot->Bytes() == jpeg);
}

void TestImageCrypt::seedAdvancesOneStepPerByte()
{
    mg::test::WriteFile(Path("empty"), {});
    QVERIFY(crypt_.EncryptFile(Path("empty"), Path("e2"), 31));
    QCOMPARE(mg::Seed(), 31u);
    QVERIFY(QFileInfo(QString::fromStdString(Path("e2"))).isFile());
    QCOMPARE(QFileInfo(QString::fromStdString(Path("e2"))).size(), 0);
    const Bytes jpeg = mg::test::MakeJpeg(8, 8);
    mg::test::WriteFile(Path("enc"), Xored(jpeg, 5));
    mg::SetSeed(999);
    std::unique_ptr<mg::TJPEGImage> slot;
    QVERIFY(crypt_.DecryptImage(Path("enc"), slot, 5));
    QCOMPARE(mg::Seed(), mg::SeedAfter(5, jpeg.size()));
    QVERIFY(crypt_.DecryptFile(Path("enc"), Path("out"), 5));
    QCOMPARE(mg::Seed(), mg::SeedAfter(5, jpeg.size()));
}

void TestImageCrypt::decryptEdgeCases_data()
{
    QTest::addColumn<Bytes>("plain");
    QTest::addColumn<bool>("sourceExists");
    QTest::addColumn<int>("decryptKey");
    QTest::addColumn<bool>("intoSource");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("width");
    const Bytes jpeg = mg::test::MakeJpeg(33, 17);
    Bytes trailing = jpeg;
    for (char c : std::string("after the end-of-image marker"))
        trailing.push_back(std::uint8_t(c));
    QTest::newRow("empty file decrypts to an empty picture") << Bytes() << true << 4 << false << true << 0;
    QTest::newRow("destination equal to source is replaced") << jpeg << true << 4 << true << true << 33;
    QTest::newRow("wrong key fails the header check") << jpeg << true << 5 << false << false << 0;
    QTest::newRow("wrong key into the source leaves it") << jpeg << true << 5 << true << false << 0;
    QTest::newRow("damaged data after a good header passes") << DamagedJpeg() << true << 4 << false << true << 64;
    QTest::newRow("bytes after end-of-image survive") << trailing << true << 4 << false << true << 33;
    QTest::newRow("missing source") << Bytes() << false << 4 << false << false << 0;
    QTest::newRow("plain text is not a JPEG") << Bytes(300, 'a') << true << 4 << false << false << 0;
    // A 12-bit JPEG cannot be shown here but is a JPEG: refusing it would
    // keep the user's own picture locked away.
    QTest::newRow("12-bit JPEG decrypts unchanged")
        << mg::test::WithTwelveBitPrecision(jpeg) << true << 4 << false << true << 33;
    QTest::newRow("header cut before the scan's last byte is refused")
        << Bytes(jpeg.begin(), jpeg.begin() + HeaderLength(jpeg) - 1) << true << 4 << false << false << 0;
}

void TestImageCrypt::decryptEdgeCases()
{
    QFETCH(Bytes, plain);
    QFETCH(bool, sourceExists);
    QFETCH(int, decryptKey);
    QFETCH(bool, intoSource);
    QFETCH(bool, accepted);
    QFETCH(int, width);
    const Bytes encrypted = Xored(plain, 4);
    if (sourceExists)
        mg::test::WriteFile(Path("src"), encrypted);
    const std::string dst = intoSource ? Path("src") : Path("dst");

    // Every call starts from its key and takes one step per byte it read:
    // none when the source cannot be read.
    const std::uint32_t seedAfter = mg::SeedAfter(std::uint32_t(decryptKey), sourceExists ? plain.size() : 0);
    mg::SetSeed(12345);
    const mg::CipherResult result = crypt_.DecryptFileEx(Path("src"), dst, decryptKey);
    QCOMPARE(bool(result), accepted);
    QCOMPARE(mg::Seed(), seedAfter);
    if (accepted) {
        QVERIFY(QFileInfo(QString::fromStdString(dst)).isFile());
        QVERIFY(mg::test::ReadFile(dst) == plain);
    } else if (intoSource)
        QVERIFY(mg::test::ReadFile(dst) == encrypted);
    else
        QVERIFY(!QFile::exists(QString::fromStdString(dst)));
    if (!sourceExists)
        QCOMPARE(result.failure, mg::CipherFailure::CannotReadSource);
    else if (!accepted)
        QCOMPARE(result.failure, mg::CipherFailure::NotJpeg);

    // Decrypt into memory from the encrypted copy (the source may have
    // been replaced above). A missing source leaves the slot as it was.
    if (sourceExists)
        mg::test::WriteFile(Path("src"), encrypted);
    auto slot = std::make_unique<mg::TJPEGImage>();
    const mg::TJPEGImage* before = slot.get();
    mg::SetSeed(12345);
    QCOMPARE(crypt_.DecryptImage(Path("src"), slot, decryptKey), accepted);
    QCOMPARE(mg::Seed(), seedAfter);
    if (!sourceExists)
        QCOMPARE(slot.get(), before);
    if (accepted)
        QCOMPARE(slot->Width(), width);
    // No temporary file is left behind, whatever the outcome.
    for (const QString& name : Entries())
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
}

void TestImageCrypt::sourceNotARegularFile_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<int>("expectedErrno");
    QTest::newRow("folder as source is refused") << false << EISDIR;
    // Opening a FIFO without a writer used to wait forever.
    QTest::newRow("FIFO without a writer is refused at once") << true << EINVAL;
}

void TestImageCrypt::sourceNotARegularFile()
{
    QFETCH(bool, fifo);
    QFETCH(int, expectedErrno);
    const std::string src = Path("special");
    if (fifo)
        QCOMPARE(::mkfifo(src.c_str(), 0600), 0);
    else
        QVERIFY(QDir(dir_->path()).mkdir("special"));
    QElapsedTimer timer;
    timer.start();
    mg::SetSeed(777);
    const mg::CipherResult enc = crypt_.EncryptFileEx(src, Path("out"), 41);
    QCOMPARE(enc.failure, mg::CipherFailure::CannotReadSource);
    QCOMPARE(enc.error, expectedErrno);
    QCOMPARE(mg::Seed(), 41u);
    QCOMPARE(crypt_.DecryptFileEx(src, Path("out"), 42).failure, mg::CipherFailure::CannotReadSource);
    QCOMPARE(mg::Seed(), 42u);
    auto slot = std::make_unique<mg::TJPEGImage>();
    const mg::TJPEGImage* before = slot.get();
    QVERIFY(!crypt_.DecryptImage(src, slot, 43));
    QCOMPARE(slot.get(), before);
    QVERIFY(crypt_.LastEncrypted && crypt_.LastEncrypted->empty());
    QCOMPARE(mg::Seed(), 43u);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(Entries(), fifo ? QStringList({"special"}) : QStringList());
}

void TestImageCrypt::lastEncryptedFollowsEachRead()
{
    mg::TImgCrypt crypt;
    QVERIFY(!crypt.LastEncrypted);
    const Bytes encrypted = Xored(mg::test::MakeJpeg(8, 8), 1);
    mg::test::WriteFile(Path("enc"), encrypted);
    mg::test::WriteFile(Path("plain"), {});
    QVERIFY(crypt.EncryptFile(Path("enc"), Path("plain"), 1));
    QVERIFY(!crypt.LastEncrypted); // only DecryptImage uses it
    std::unique_ptr<mg::TJPEGImage> slot;
    QVERIFY(crypt.DecryptImage(Path("enc"), slot, 1));
    // The encrypted bytes are not kept beside the picture: one copy only.
    QVERIFY(crypt.LastEncrypted && crypt.LastEncrypted->empty());
    QVERIFY(slot && slot->Bytes() == Xored(encrypted, 1));
    QVERIFY(!crypt.DecryptImage(Path("missing"), slot, 1));
    QVERIFY(crypt.LastEncrypted && crypt.LastEncrypted->empty());
}

void TestImageCrypt::writeFailureKeepsDestination_data()
{
    QTest::addColumn<int>("createErrno");
    QTest::addColumn<int>("writeCall");
    QTest::addColumn<int>("syncErrno");
    QTest::addColumn<int>("renameErrno");
    QTest::addColumn<int>("earlyFlushErrno");
    QTest::addColumn<int>("expectedErrno");
    QTest::newRow("read-only folder refuses the temporary file") << EROFS << 0 << 0 << 0 << 0 << EROFS;
    QTest::newRow("disk full on the first write") << 0 << 1 << 0 << 0 << 0 << ENOSPC;
    QTest::newRow("disk full on a later write") << 0 << 3 << 0 << 0 << 0 << ENOSPC;
    QTest::newRow("flush to disk fails") << 0 << 0 << EIO << 0 << 0 << EIO;
    QTest::newRow("rename over the destination fails") << 0 << 0 << 0 << EACCES << 0 << EACCES;
    // The final fsync would succeed: the system tells a failed write-back once.
    QTest::newRow("an early flush while writing fails") << 0 << 0 << 0 << 0 << EIO << EIO;
}

void TestImageCrypt::writeFailureKeepsDestination()
{
    QFETCH(int, createErrno);
    QFETCH(int, writeCall);
    QFETCH(int, syncErrno);
    QFETCH(int, renameErrno);
    QFETCH(int, earlyFlushErrno);
    QFETCH(int, expectedErrno);
    const Bytes old = {'o', 'l', 'd'};
    mg::test::WriteFile(Path("src"), Pseudorandom(mg::TImgCrypt::kChunkBytes * 3 + 7));
    mg::test::WriteFile(Path("dst"), old);
    mg::SafeFileFaults faults;
    faults.createFailsWith = createErrno;
    faults.writeCall = writeCall;
    faults.writeFailsWith = ENOSPC;
    faults.syncFailsWith = syncErrno;
    faults.renameFailsWith = renameErrno;
    faults.earlyFlushEvery = mg::TImgCrypt::kChunkBytes * 2;
    faults.earlyFlushFailsWith = earlyFlushErrno;
    mg::SetSafeFileFaults(faults);

    const mg::CipherResult result = crypt_.EncryptFileEx(Path("src"), Path("dst"), 9);
    QVERIFY(!result);
    QCOMPARE(result.failure, mg::CipherFailure::CannotWriteDestination);
    QCOMPARE(result.error, expectedErrno);
    QVERIFY(mg::test::ReadFile(Path("dst")) == old);
    QCOMPARE(Entries(), QStringList({"dst", "src"}));
}

void TestImageCrypt::missingFolderIsWriteFailure()
{
    mg::test::WriteFile(Path("src"), {1, 2, 3});
    const mg::CipherResult result = crypt_.EncryptFileEx(Path("src"), Path("no/dst"), 9);
    QCOMPARE(result.failure, mg::CipherFailure::CannotWriteDestination);
    QCOMPARE(result.error, ENOENT);
    mg::SetSeed(1);
    QVERIFY(!crypt_.EncryptFile(Path("missing"), Path("dst"), 9));
    QCOMPARE(mg::Seed(), 9u); // nothing was processed
    QCOMPARE(Entries(), QStringList({"src"}));
}

void TestImageCrypt::destinationModeIsKept()
{
    mg::test::WriteFile(Path("src"), {1, 2, 3});
    mg::test::WriteFile(Path("dst"), {0});
    QCOMPARE(::chmod(Path("dst").c_str(), 0640), 0);
    QVERIFY(crypt_.EncryptFile(Path("src"), Path("dst"), 9));
    struct stat info {};
    QCOMPARE(::stat(Path("dst").c_str(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), 0640);

    // Replacing someone else's file keeps its owner where the process may
    // hand it back (tests usually run as root; elsewhere chown fails).
    if (::chown(Path("dst").c_str(), 4321, 4322) == 0) {
        QVERIFY(crypt_.EncryptFile(Path("src"), Path("dst"), 9));
        QCOMPARE(::stat(Path("dst").c_str(), &info), 0);
        QCOMPARE(int(info.st_uid), 4321);
        QCOMPARE(int(info.st_gid), 4322);
        QCOMPARE(int(info.st_mode & 07777), 0640);
    }
}

void TestImageCrypt::specialDestinations_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("detail");
    // Renaming over a link used to replace the link by a plain file.
    QTest::newRow("link to a file: the file is replaced, the link kept") << "link" << true << QString();
    // A dangling link used to be replaced by a plain file; cp writes its target.
    QTest::newRow("dangling link: its target is made, the link kept") << "dangling" << true << QString();
    // A device or FIFO used to be replaced by a plain file.
    QTest::newRow("FIFO is refused and kept") << "fifo" << false << "not a regular file";
    QTest::newRow("folder is refused") << "folder" << false << "Is a directory";
}

void TestImageCrypt::specialDestinations()
{
    QFETCH(QString, kind);
    QFETCH(bool, written);
    QFETCH(QString, detail);
    const Bytes plain = {1, 2, 3, 4};
    mg::test::WriteFile(Path("src"), plain);
    mg::test::WriteFile(Path("target"), {9});
    const std::string dst = Path("dst");
    if (kind == "link")
        QCOMPARE(::symlink("target", dst.c_str()), 0);
    else if (kind == "dangling")
        QCOMPARE(::symlink("made", dst.c_str()), 0);
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(dst.c_str(), 0600), 0);
    else
        QVERIFY(QDir(dir_->path()).mkdir("dst"));
    const mg::CipherResult result = crypt_.EncryptFileEx(Path("src"), dst, 3);
    QCOMPARE(bool(result), written);
    QCOMPARE(QString::fromStdString(result.detail), detail);
    const QFileInfo info(QString::fromStdString(dst));
    if (kind == "link") {
        QVERIFY(info.isSymLink());
        QVERIFY(mg::test::ReadFile(Path("target")) == Xored(plain, 3));
    } else if (kind == "dangling") {
        QVERIFY(info.isSymLink());
        QVERIFY(mg::test::ReadFile(Path("made")) == Xored(plain, 3));
    } else if (kind == "fifo") {
        QVERIFY(!info.isFile() && !info.isDir() && info.exists());
    }
    for (const QString& name : Entries())
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
}

// Files handed to the committer reach the disk in order, though several
// are flushed at once; a failure halts it, and Discard then leaves the files
// handed over after the failed one uncommitted (even those whose flush
// ended first) and removes every temporary file.
void TestImageCrypt::committerKeepsOrderAndStopsAtAFailure_data()
{
    QTest::addColumn<int>("syncErrno");
    QTest::addColumn<int>("failing"); // the file whose flush fails; -1: every one
    QTest::addColumn<int>("slowMs");  // how long that flush takes to fail
    QTest::newRow("every file committed") << 0 << -1 << 0;
    QTest::newRow("later files written after a failed flush") << EIO << -1 << 0;
    QTest::newRow("a middle file's flush fails") << EIO << 2 << 0;
    QTest::newRow("the last file's flush fails") << ENOSPC << 3 << 0;
    QTest::newRow("later files flushed before the first one fails") << EIO << 0 << 300;
}

void TestImageCrypt::committerKeepsOrderAndStopsAtAFailure()
{
    QFETCH(int, syncErrno);
    QFETCH(int, failing);
    QFETCH(int, slowMs);
    constexpr int kFiles = 4;
    const auto out = [this](int i) { return Path(("out" + std::to_string(i)).c_str()); };
    const Bytes plain = Pseudorandom(1000);
    mg::test::WriteFile(Path("src"), plain);
    mg::SafeFileFaults faults;
    faults.syncFailsWith = syncErrno;
    faults.syncFailsFor = failing >= 0 ? out(failing) : std::string();
    faults.syncFailsAfterMs = slowMs;
    mg::SetSafeFileFaults(faults);
    const int failed = syncErrno == 0 ? kFiles : std::max(failing, 0);
    {
        mg::SafeCommitter committer;
        for (int i = 0; i < kFiles; ++i)
            QVERIFY(crypt_.EncryptFileEx(Path("src"), out(i), 5, committer, i));
        QCOMPARE(committer.Pending(), std::size_t(kFiles));
        for (int i = 0; i <= std::min(failed, kFiles - 1); ++i) {
            auto [writer, tag] = committer.Next();
            QCOMPARE(tag, i);
            QCOMPARE(writer->Error(), i == failed ? syncErrno : 0);
        }
        if (failed < kFiles) {
            committer.Discard();
            QCOMPARE(committer.Pending(), std::size_t(0));
        }
    }
    QStringList expected{"src"};
    for (int i = 0; i < failed; ++i)
        expected << QString::fromStdString("out" + std::to_string(i));
    expected.sort();
    QCOMPARE(Entries(), expected);
    for (int i = 0; i < failed; ++i)
        QVERIFY(mg::test::ReadFile(out(i)) == Xored(plain, 5));
}

// kill -9 of a process in the middle of a batch handed to the committer:
// every output under its final name is whole, and no temporary file is left.
void TestImageCrypt::killedBatchLeavesWholeFilesOnly()
{
    const Bytes plain = Pseudorandom(std::size_t{1} << 20);
    mg::test::WriteFile(Path("src"), plain);
    constexpr int kFiles = 64;
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        mg::TImgCrypt crypt;
        mg::SafeCommitter committer;
        for (int i = 0; i < kFiles; ++i) {
            crypt.EncryptFileEx(Path("src"), Path(("out" + std::to_string(i)).c_str()), 5, committer, i);
            while (committer.Pending() > 8)
                committer.Next();
            ::usleep(20000); // long enough for the parent to see it under way
        }
        while (committer.Pending() > 0)
            committer.Next();
        ::_exit(0);
    }
    // Killed once a few files are on disk, with more on their way.
    QTRY_VERIFY_WITH_TIMEOUT(Entries().size() >= 5, 30000);
    ::kill(child, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    const QStringList names = Entries();
    QVERIFY2(names.size() < kFiles + 1, "the batch ended before it was killed");
    const Bytes whole = Xored(plain, 5);
    for (const QString& name : names) {
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
        if (name != "src")
            QVERIFY2(mg::test::ReadFile(Path(name.toUtf8().constData())) == whole, qPrintable(name));
    }
}

void TestImageCrypt::ownStateDecryptsAsTheSharedSeed_data()
{
    QTest::addColumn<Bytes>("plain");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<std::int32_t>("key");
    // Encrypted with key 7 (when it exists).
    QTest::newRow("picture of odd length ends on another seed") << mg::test::MakeJpeg(37, 29) << true << 7;
    QTest::newRow("long header checked chunk by chunk ends on another seed") << LongHeaderJpeg(3u << 20) << true << 7;
    Bytes padded = mg::test::MakeJpeg(16, 16);
    padded.resize(padded.size() + (17u << 20), 0);
    QTest::newRow("long file through the streaming kernel ends on another seed") << padded << true << 7;
    QTest::newRow("wrong key skips the unread rest differently") << mg::test::MakeJpeg(64, 48) << true << 8;
    QTest::newRow("empty file") << Bytes() << true << 7;
    QTest::newRow("missing file moves the seed") << Bytes() << false << 7;
}

void TestImageCrypt::ownStateDecryptsAsTheSharedSeed()
{
    QFETCH(Bytes, plain);
    QFETCH(bool, exists);
    QFETCH(std::int32_t, key);
    if (exists)
        mg::test::WriteFile(Path("enc"), Xored(plain, 7));
    std::unique_ptr<mg::TJPEGImage> shared, own;
    const mg::CipherResult expected = crypt_.DecryptImageEx(Path("enc"), shared, key);
    const std::uint32_t seedAfter = mg::Seed();
    // A worker's decryption leaves the process's generator where it was.
    mg::SetSeed(12345);
    std::uint32_t state = 0;
    const mg::CipherResult result = mg::DecryptLightImage(Path("enc"), own, key, state);
    QCOMPARE(mg::Seed(), 12345u);
    QCOMPARE(state, seedAfter);
    QCOMPARE(int(result.failure), int(expected.failure));
    QCOMPARE(result.detail, expected.detail);
    QCOMPARE(bool(own), bool(shared));
    if (own)
        QVERIFY(own->Bytes() == shared->Bytes());
}

QTEST_APPLESS_MAIN(TestImageCrypt)
#include "tst_imagecrypt.moc"

void TestImageCrypt::headerDecidesBeforeWriting_data()
{
    QTest::addColumn<Bytes>("plain");
    QTest::addColumn<int>("decryptKey");
    QTest::addColumn<bool>("accepted");
    // Large enough that streaming it would write many chunks.
    Bytes padded = mg::test::MakeJpeg(16, 16);
    padded.resize(padded.size() + 6 * mg::TImgCrypt::kChunkBytes, 0);
    const Bytes longHeader = LongHeaderJpeg(3 * mg::TImgCrypt::kChunkBytes + 777);
    QTest::newRow("wrong key writes nothing") << padded << 8 << false;
    QTest::newRow("header longer than several reads passes") << longHeader << 7 << true;
    QTest::newRow("stream ending inside a long header writes nothing")
        << Bytes(longHeader.begin(), longHeader.begin() + 2 * mg::TImgCrypt::kChunkBytes) << 7 << false;
    QTest::newRow("right key writes the whole file") << padded << 7 << true;
}

void TestImageCrypt::headerDecidesBeforeWriting()
{
    QFETCH(Bytes, plain);
    QFETCH(int, decryptKey);
    QFETCH(bool, accepted);
    mg::test::WriteFile(Path("src"), Xored(plain, 7));
    const std::uint64_t writtenBefore = IoCounter("wchar");
    const mg::CipherResult result = crypt_.DecryptFileEx(Path("src"), Path("dst"), decryptKey);
    const std::uint64_t written = IoCounter("wchar") - writtenBefore;
    QCOMPARE(bool(result), accepted);
    // Stopping early leaves the generator where the whole file would have.
    QCOMPARE(mg::Seed(), mg::SeedAfter(std::uint32_t(decryptKey), plain.size()));
    if (accepted) {
        QVERIFY(mg::test::ReadFile(Path("dst")) == plain);
        return;
    }
    QCOMPARE(result.failure, mg::CipherFailure::NotJpeg);
    QVERIFY2(written < 4096, qPrintable(QString::number(written)));
    QCOMPARE(Entries(), QStringList({"src"}));
}

void TestImageCrypt::wrongKeyOnFullDiskIsWrongKey()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs root");
    const QString disk = dir_->filePath("disk");
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", disk}) != 0)
        QSKIP("this machine does not let the test mount a tmpfs");
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{disk};
    Bytes plain = mg::test::MakeJpeg(16, 16);
    plain.resize(3u << 20, 0); // three times the disk
    mg::test::WriteFile(Path("src"), Xored(plain, 7));
    const std::string dst = (disk + "/out.jpg").toStdString();
    const mg::CipherResult wrong = crypt_.DecryptFileEx(Path("src"), dst, 8);
    QCOMPARE(wrong.failure, mg::CipherFailure::NotJpeg);
    QVERIFY(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // The right key meets the full disk, and says so.
    const mg::CipherResult right = crypt_.DecryptFileEx(Path("src"), dst, 7);
    QCOMPARE(right.failure, mg::CipherFailure::CannotWriteDestination);
    QCOMPARE(right.error, ENOSPC);
    QVERIFY(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void TestImageCrypt::viewReadsOnlyWhatItNeeds_data()
{
    QTest::addColumn<quint64>("budget");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("failure");
    QTest::addColumn<qint64>("mayRead");
    // Sparse files: their size costs no disk.
    QTest::newRow("file over the picture budget is refused unread")
        << quint64(8) << qint64(9) << int(mg::CipherFailure::CannotReadSource) << qint64(0);
    QTest::newRow("non-picture is refused after its first bytes")
        << quint64(0) << qint64(256) << int(mg::CipherFailure::NotJpeg) << qint64(mg::TImgCrypt::kChunkBytes);
}

void TestImageCrypt::viewReadsOnlyWhatItNeeds()
{
    QFETCH(quint64, budget);
    QFETCH(qint64, size);
    QFETCH(int, failure);
    QFETCH(qint64, mayRead);
    mg::SetJpegDecodeBudget(budget << 20);
    struct Restore {
        ~Restore() { mg::SetJpegDecodeBudget(0); }
    } restore;
    QFile file(QString::fromStdString(Path("big")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size << 20));
    file.close();
    std::unique_ptr<mg::TJPEGImage> slot;
    const std::uint64_t readBefore = IoCounter("rchar");
    const mg::CipherResult result = crypt_.DecryptImageEx(Path("big"), slot, 3);
    const std::uint64_t read = IoCounter("rchar") - readBefore;
    QCOMPARE(int(result.failure), failure);
    QVERIFY2(read <= std::uint64_t(mayRead) + 4096, qPrintable(QString::number(read)));
    // The noise after a refused header depends on the file's length, not on
    // how much of it the check needed.
    if (result.failure == mg::CipherFailure::NotJpeg)
        QCOMPARE(mg::Seed(), mg::SeedAfter(3, std::uint64_t(size) << 20));
    if (result.failure == mg::CipherFailure::CannotReadSource)
        QVERIFY2(result.detail.rfind("Picture too large to load", 0) == 0, result.detail.c_str());
    QVERIFY(crypt_.LastEncrypted && crypt_.LastEncrypted->empty());
}

void TestImageCrypt::namedTemporaryGoesOnSignals_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestImageCrypt::namedTemporaryGoesOnSignals()
{
    // Where the file system has no unnamed files, the temporary file has a
    // name; a child process stopped by a signal while writing removes it.
    QFETCH(int, signal);
    const std::string dst = Path("dst");
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        mg::SafeFileFaults faults;
        faults.noUnnamedFiles = true;
        mg::SetSafeFileFaults(faults);
        mg::SafeWriter writer(dst);
        const std::uint8_t data[4] = {1, 2, 3, 4};
        if (!writer.Open() || !writer.Write(data, sizeof data) || writer.TempPath().empty())
            ::_exit(3);
        ::raise(signal);
        ::_exit(4); // not reached: the signal ends the process
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status), "the child ran without a named temporary file or survived the signal");
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(Entries(), QStringList());
}
