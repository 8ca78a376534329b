// The strong format: round trips, every kind of tampering refused with
// nothing written, the light format still taken for files that start with
// the magic by chance, one derivation per batch salt, and full disks.
#include "TestJpeg.h"
#include "base/SafeFile.h"
#include "cipher/ImageCrypt.h"
#include "cipher/Keystream.h"
#include "cipher/StrongCrypt.h"

#include <QtTest>
#include <sodium.h>
#include <sys/mount.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

namespace strong = mg::strong;

// The cheapest derivation libsodium allows, so that tests run fast; the
// reader takes any parameters within its cap.
constexpr strong::KdfParams kTestParams{1, 8};

Bytes Pseudorandom(std::size_t n, std::uint32_t x = 7)
{
    Bytes bytes(n);
    for (auto& b : bytes)
        b = std::uint8_t((x = x * 1664525u + 1013904223u) >> 23);
    return bytes;
}

Bytes Xored(Bytes bytes, std::int32_t key)
{
    mg::SetSeed(key);
    mg::ApplyKeystreamSerial(bytes.data(), bytes.size());
    return bytes;
}

// Offsets of the stream pieces in a strong file.
constexpr std::size_t kFirstPiece = strong::kHeaderBytes + strong::kExtensionRecordBytes + strong::kPieceOverhead;
constexpr std::size_t kCipherPiece = strong::kPieceBytes + strong::kPieceOverhead;

// A header with a valid checksum around the given fields, as a hostile or
// newer writer would make it.
Bytes ForgedHeader(std::uint8_t version, std::uint32_t ops, std::uint32_t memKiB)
{
    Bytes h(strong::kHeaderBytes, 0);
    std::copy(strong::kMagic.begin(), strong::kMagic.end(), h.begin());
    h[8] = version;
    for (int i = 0; i < 4; ++i) {
        h[9 + i] = std::uint8_t(ops >> (8 * i));
        h[13 + i] = std::uint8_t(memKiB >> (8 * i));
    }
    crypto_generichash(h.data() + 73, 16, h.data(), 73, nullptr, 0);
    return h;
}

// A 32-bit key whose light keystream turns a JPEG (SOI, then a comment or
// application segment) into bytes that begin with the strong magic; the
// segment length that results goes to segmentLength. The generator is
// inverted: the first draw fixes the top byte of the first seed, so only
// 2^24 seeds need trying.
std::optional<std::int32_t> KeyMakingMagic(std::uint8_t& marker, std::uint16_t& segmentLength)
{
    const auto& m = strong::kMagic;
    constexpr std::uint32_t kMul = 134775813u;
    std::uint32_t inverse = kMul; // Newton's iteration for the inverse mod 2^32
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - kMul * inverse;
    const std::uint8_t want[3] = {std::uint8_t(m[0] ^ 0xFF), std::uint8_t(m[1] ^ 0xD8), std::uint8_t(m[2] ^ 0xFF)};
    for (std::uint32_t low = 0; low < (1u << 24); ++low) {
        std::uint32_t s = std::uint32_t(want[0]) << 24 | low;
        std::uint8_t ks[8];
        ks[0] = want[0];
        bool ok = true;
        for (int i = 1; i < 8 && ok; ++i) {
            s = s * kMul + 1;
            ks[i] = std::uint8_t(s >> 24);
            ok = i >= 3 || ks[i] == want[i];
        }
        if (!ok)
            continue;
        const std::uint8_t code = m[3] ^ ks[3];
        const std::uint16_t length = std::uint16_t((m[4] ^ ks[4]) << 8 | (m[5] ^ ks[5]));
        // A comment, or an application segment that libjpeg does not read
        // (APP0 and APP14 it does).
        if ((code == 0xFE || (code > 0xE0 && code <= 0xEF && code != 0xEE)) && length >= 8) {
            marker = code;
            segmentLength = length;
            return std::int32_t(((std::uint32_t(want[0]) << 24 | low) - 1) * inverse);
        }
    }
    return std::nullopt;
}

} // namespace

class TestStrongCrypt : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void roundTripKeepsBytesAndExtension_data();
    void roundTripKeepsBytesAndExtension();
    void tamperingIsRefused_data();
    void tamperingIsRefused();
    void tamperingAfterTheFirstBatchIsRefused_data();
    void tamperingAfterTheFirstBatchIsRefused();
    void writeFailureMidwayLeavesNothing_data();
    void writeFailureMidwayLeavesNothing();
    void lightFileWithMagicStillDecrypts();
    void oneDerivationPerBatchSalt();
    void keysFollowThePassphrase();
    void fullDiskLeavesNothing();

private:
    std::string Path(const char* name) const { return dir_->filePath(name).toStdString(); }
    QStringList Entries() const { return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    std::unique_ptr<QTemporaryDir> dir_;
    mg::TImgCrypt crypt_;
};

void TestStrongCrypt::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    mg::SetSafeFileFaults({});
    crypt_.Strong.writeParams = kTestParams;
    crypt_.Strong.SetPassphrase("correct horse");
}

void TestStrongCrypt::cleanup()
{
    mg::SetSafeFileFaults({});
    dir_.reset();
}

void TestStrongCrypt::roundTripKeepsBytesAndExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("extension");
    QTest::newRow("empty file") << "empty.png" << 0 << "png";
    QTest::newRow("one byte") << "one.gif" << 1 << "gif";
    QTest::newRow("exactly one piece: it carries the final tag") << "piece.bmp" << int(strong::kPieceBytes) << "bmp";
    QTest::newRow("several pieces and a part") << "big.JPEG" << int(3 * strong::kPieceBytes + 999) << "JPEG";
    // Pieces go to the disk 16 at a time, on a second thread.
    QTest::newRow("exactly one batch of pieces") << "batch.png" << int(16 * strong::kPieceBytes) << "png";
    QTest::newRow("one batch and a byte") << "batch1.jpg" << int(16 * strong::kPieceBytes + 1) << "jpg";
    QTest::newRow("several batches and a part") << "long.tif" << int(50 * strong::kPieceBytes + 12345) << "tif";
    // Files of more batches than the buffers hold are read ahead on a thread.
    QTest::newRow("read ahead: batches and a part") << "ahead.jpg" << int(80 * strong::kPieceBytes + 5) << "jpg";
    QTest::newRow("read ahead: ends with a whole batch") << "whole.jpg" << int(96 * strong::kPieceBytes) << "jpg";
    QTest::newRow("no extension") << "README" << 100 << "";
    QTest::newRow("dot in the folder only") << "dir.d/name" << 10 << "";
}

void TestStrongCrypt::roundTripKeepsBytesAndExtension()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(QString, extension);
    QVERIFY(QDir(dir_->path()).mkpath(QFileInfo(dir_->filePath(name)).path()));
    const std::string src = dir_->filePath(name).toStdString();
    const Bytes plain = Pseudorandom(std::size_t(size));
    mg::test::WriteFile(src, plain);
    QVERIFY(strong::EncryptFile(src, Path("enc"), crypt_.Strong));
    const Bytes enc = mg::test::ReadFile(Path("enc"));
    QVERIFY(strong::HasMagic(enc.data(), enc.size()));
    QVERIFY(enc.size() > plain.size() + strong::kFixedOverhead - 1);
    // Every piece but the last is full; an empty file still has its final one.
    const std::size_t pieces = std::max<std::size_t>(1, (plain.size() + strong::kPieceBytes - 1) / strong::kPieceBytes);
    QCOMPARE(enc.size(), kFirstPiece + plain.size() + pieces * strong::kPieceOverhead);

    std::string stored;
    QVERIFY(strong::DecryptFile(Path("enc"), Path("out"), crypt_.Strong, &stored));
    QVERIFY(mg::test::ReadFile(Path("out")) == plain);
    QCOMPARE(QString::fromStdString(stored), extension);
    // The cipher object recognises the format with no option; the light key
    // plays no part.
    QVERIFY(crypt_.DecryptFile(Path("enc"), Path("out2"), 12345));
    QVERIFY(mg::test::ReadFile(Path("out2")) == plain);
    Bytes inMemory;
    QVERIFY(strong::DecryptToMemory(Path("enc"), crypt_.Strong, inMemory, stored, 1u << 30));
    QVERIFY(inMemory == plain);
    // Decrypting a file onto itself.
    QVERIFY(crypt_.DecryptFile(Path("enc"), Path("enc"), 0));
    QVERIFY(mg::test::ReadFile(Path("enc")) == plain);
}

void TestStrongCrypt::tamperingIsRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("failure");
    const int damaged = int(mg::CipherFailure::Damaged);
    QTest::newRow("byte flipped in the version") << "flip 8" << damaged;
    QTest::newRow("byte flipped in the salt") << "flip 20" << damaged;
    QTest::newRow("byte flipped in the key check") << "flip 60" << damaged;
    QTest::newRow("byte flipped in the extension record") << "flip 100" << damaged;
    QTest::newRow("byte flipped in the first piece") << "flip first" << damaged;
    QTest::newRow("byte flipped in a middle piece") << "flip middle" << damaged;
    QTest::newRow("byte flipped in the last piece") << "flip last" << damaged;
    QTest::newRow("last piece dropped") << "drop last" << damaged;
    QTest::newRow("two pieces swapped") << "swap" << damaged;
    QTest::newRow("cut inside the header") << "cut 40" << damaged;
    QTest::newRow("byte added after the final piece") << "append" << damaged;
    QTest::newRow("wrong passphrase") << "passphrase" << int(mg::CipherFailure::WrongPassphrase);
    QTest::newRow("hostile memory demand") << "memory" << int(mg::CipherFailure::Unsupported);
    QTest::newRow("hostile pass count") << "passes" << int(mg::CipherFailure::Unsupported);
    QTest::newRow("later format version") << "version" << int(mg::CipherFailure::Unsupported);
}

void TestStrongCrypt::tamperingIsRefused()
{
    QFETCH(QString, change);
    QFETCH(int, failure);
    // Three full pieces and a short last one.
    mg::test::WriteFile(Path("plain.jpg"), Pseudorandom(3 * strong::kPieceBytes + 500));
    QVERIFY(strong::EncryptFile(Path("plain.jpg"), Path("enc"), crypt_.Strong));
    Bytes enc = mg::test::ReadFile(Path("enc"));
    const std::size_t last = kFirstPiece + 3 * kCipherPiece;
    QCOMPARE(enc.size(), last + 500 + strong::kPieceOverhead);
    const QStringList words = change.split(' ');
    if (words[0] == "flip") {
        const std::size_t at = words[1] == "first"    ? kFirstPiece + 30
                               : words[1] == "middle" ? kFirstPiece + kCipherPiece + 30
                               : words[1] == "last"   ? last + 30
                                                      : words[1].toUInt();
        enc[at] ^= 0x01;
    } else if (change == "drop last") {
        enc.resize(last);
    } else if (change == "swap") {
        std::swap_ranges(enc.begin() + kFirstPiece, enc.begin() + kFirstPiece + kCipherPiece,
                         enc.begin() + kFirstPiece + kCipherPiece);
    } else if (words[0] == "cut") {
        enc.resize(words[1].toUInt());
    } else if (change == "append") {
        enc.push_back(0);
    } else if (change == "passphrase") {
        crypt_.Strong.SetPassphrase("correct horsf");
    } else {
        const Bytes forged = change == "memory"   ? ForgedHeader(1, 1, 64u << 20)
                             : change == "passes" ? ForgedHeader(1, 1u << 30, 8)
                                                  : ForgedHeader(2, 1, 8);
        std::copy(forged.begin(), forged.end(), enc.begin());
    }
    mg::test::WriteFile(Path("enc"), enc);
    const unsigned derivations = crypt_.Strong.Derivations();
    QElapsedTimer timer;
    timer.start();
    const mg::CipherResult result = crypt_.DecryptFileEx(Path("enc"), Path("out.jpg"), 0);
    QCOMPARE(int(result.failure), failure);
    QCOMPARE(Entries(), QStringList({"enc", "plain.jpg"}));
    if (failure == int(mg::CipherFailure::Unsupported)) {
        QCOMPARE(crypt_.Strong.Derivations(), derivations); // refused before deriving
        QVERIFY(timer.elapsed() < 5000);
    }
    // The memory reader agrees and hands back nothing.
    Bytes plain{1, 2, 3};
    std::string extension;
    QCOMPARE(int(strong::DecryptToMemory(Path("enc"), crypt_.Strong, plain, extension, 1u << 30).failure), failure);
    QVERIFY(plain.empty());
}

void TestStrongCrypt::tamperingAfterTheFirstBatchIsRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("byte flipped in the second batch") << "flip";
    QTest::newRow("cut where the first batch ends") << "cut batch";
    QTest::newRow("cut inside the last piece") << "cut last";
    QTest::newRow("pieces of the two batches swapped") << "swap";
}

// The first batch has gone to the writer thread when the second fails.
void TestStrongCrypt::tamperingAfterTheFirstBatchIsRefused()
{
    QFETCH(QString, change);
    mg::test::WriteFile(Path("plain.jpg"), Pseudorandom(20 * strong::kPieceBytes + 100));
    QVERIFY(strong::EncryptFile(Path("plain.jpg"), Path("enc"), crypt_.Strong));
    Bytes enc = mg::test::ReadFile(Path("enc"));
    const std::size_t secondBatch = kFirstPiece + 16 * kCipherPiece;
    if (change == "flip")
        enc[secondBatch + kCipherPiece + 30] ^= 0x01;
    else if (change == "cut batch")
        enc.resize(secondBatch);
    else if (change == "cut last")
        enc.resize(enc.size() - 10);
    else
        std::swap_ranges(enc.begin() + secondBatch - kCipherPiece, enc.begin() + secondBatch,
                         enc.begin() + secondBatch);
    mg::test::WriteFile(Path("enc"), enc);
    QCOMPARE(crypt_.DecryptFileEx(Path("enc"), Path("out.jpg"), 0).failure, mg::CipherFailure::Damaged);
    QCOMPARE(Entries(), QStringList({"enc", "plain.jpg"}));
}

void TestStrongCrypt::writeFailureMidwayLeavesNothing_data()
{
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<int>("writeCall");
    // Encrypting writes the header first, then a batch per call.
    QTest::newRow("encrypting: the header") << true << 1;
    QTest::newRow("encrypting: a later batch") << true << 3;
    QTest::newRow("decrypting: the first batch") << false << 1;
    QTest::newRow("decrypting: a later batch") << false << 3;
}

// The writer thread fails while the cipher is still at work on later
// batches: the error is told and no file is left behind.
void TestStrongCrypt::writeFailureMidwayLeavesNothing()
{
    QFETCH(bool, encrypt);
    QFETCH(int, writeCall);
    mg::test::WriteFile(Path("plain.jpg"), Pseudorandom(100 * strong::kPieceBytes + 7));
    QVERIFY(strong::EncryptFile(Path("plain.jpg"), Path("enc"), crypt_.Strong));
    mg::SafeFileFaults faults;
    faults.writeCall = writeCall;
    faults.writeFailsWith = ENOSPC;
    mg::SetSafeFileFaults(faults);
    const mg::CipherResult result = encrypt ? strong::EncryptFile(Path("plain.jpg"), Path("enc2"), crypt_.Strong)
                                            : strong::DecryptFile(Path("enc"), Path("out.jpg"), crypt_.Strong);
    QCOMPARE(result.failure, mg::CipherFailure::CannotWriteDestination);
    QCOMPARE(result.error, ENOSPC);
    QCOMPARE(Entries(), QStringList({"enc", "plain.jpg"}));
}

void TestStrongCrypt::lightFileWithMagicStillDecrypts()
{
    std::uint8_t marker = 0;
    std::uint16_t length = 0;
    const std::optional<std::int32_t> key = KeyMakingMagic(marker, length);
    QVERIFY2(key, "no 32-bit key makes the magic");
    // SOI, the segment (its bytes after the length are free), then the rest
    // of a real JPEG after its own SOI.
    const Bytes real = mg::test::MakeJpeg(16, 16);
    Bytes jpeg{0xFF, 0xD8, 0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length)};
    jpeg.resize(4 + length, 0);
    const Bytes lead = Xored(Bytes(8, 0), *key); // the keystream's first bytes
    jpeg[6] = strong::kMagic[6] ^ lead[6];
    jpeg[7] = strong::kMagic[7] ^ lead[7];
    jpeg.insert(jpeg.end(), real.begin() + 2, real.end());
    const Bytes enc = Xored(jpeg, *key);
    QVERIFY(strong::HasMagic(enc.data(), enc.size()));
    mg::test::WriteFile(Path("light.bin"), enc);
    const mg::CipherResult result = crypt_.DecryptFileEx(Path("light.bin"), Path("out.jpg"), *key);
    QVERIFY2(result, result.detail.c_str());
    QVERIFY(mg::test::ReadFile(Path("out.jpg")) == jpeg);
    // With another key both readings fail; a file with the whole magic is far
    // likelier a strong file with a damaged header than a light one.
    QCOMPARE(crypt_.DecryptFileEx(Path("light.bin"), Path("out2.jpg"), *key + 1).failure, mg::CipherFailure::Damaged);
    QVERIFY(!QFile::exists(QString::fromStdString(Path("out2.jpg"))));
}

void TestStrongCrypt::oneDerivationPerBatchSalt()
{
    mg::test::WriteFile(Path("a"), Pseudorandom(10));
    crypt_.Strong.NewBatch();
    const unsigned before = crypt_.Strong.Derivations();
    for (const char* name : {"e1", "e2", "e3"})
        QVERIFY(strong::EncryptFile(Path("a"), Path(name), crypt_.Strong));
    for (const char* name : {"e1", "e2", "e3"})
        QVERIFY(crypt_.DecryptFile(Path(name), Path("out"), 0));
    QCOMPARE(crypt_.Strong.Derivations(), before + 1);
    // Each file has its own stream header, so equal files differ.
    QVERIFY(mg::test::ReadFile(Path("e1")) != mg::test::ReadFile(Path("e2")));
    // A new batch gets a new salt and one more derivation.
    crypt_.Strong.NewBatch();
    QVERIFY(strong::EncryptFile(Path("a"), Path("e4"), crypt_.Strong));
    QVERIFY(strong::EncryptFile(Path("a"), Path("e5"), crypt_.Strong));
    QCOMPARE(crypt_.Strong.Derivations(), before + 2);
    const Bytes e1 = mg::test::ReadFile(Path("e1")), e4 = mg::test::ReadFile(Path("e4"));
    QVERIFY(!std::equal(e1.begin() + 17, e1.begin() + 33, e4.begin() + 17));
}

void TestStrongCrypt::keysFollowThePassphrase()
{
    mg::test::WriteFile(Path("a"), Pseudorandom(10));
    QVERIFY(strong::EncryptFile(Path("a"), Path("enc"), crypt_.Strong));
    // A key derived for one passphrase is never used for another.
    crypt_.Strong.SetPassphrase("other");
    QCOMPARE(crypt_.DecryptFileEx(Path("enc"), Path("out"), 0).failure, mg::CipherFailure::WrongPassphrase);
    crypt_.Strong.SetPassphrase("correct horse");
    QVERIFY(crypt_.DecryptFile(Path("enc"), Path("out"), 0));
    // Setting the same passphrase again keeps the derived key.
    const unsigned derivations = crypt_.Strong.Derivations();
    crypt_.Strong.SetPassphrase("correct horse");
    QVERIFY(crypt_.DecryptFile(Path("enc"), Path("out"), 0));
    QCOMPARE(crypt_.Strong.Derivations(), derivations);
    // An integer text is a passphrase like any other.
    crypt_.Strong.SetPassphrase("42");
    QVERIFY(strong::EncryptFile(Path("a"), Path("enc42"), crypt_.Strong));
    crypt_.Strong.SetPassphrase("042");
    QCOMPARE(crypt_.DecryptFileEx(Path("enc42"), Path("out"), 42).failure, mg::CipherFailure::WrongPassphrase);
}

void TestStrongCrypt::fullDiskLeavesNothing()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs root");
    const std::string disk = Path("disk");
    QVERIFY(QDir().mkpath(QString::fromStdString(disk)));
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("cannot mount a tmpfs here");
    const Bytes plain = Pseudorandom(400 << 10);
    mg::test::WriteFile(Path("plain"), plain);
    const mg::CipherResult enc = strong::EncryptFile(Path("plain"), disk + "/enc", crypt_.Strong);
    QCOMPARE(enc.failure, mg::CipherFailure::CannotWriteDestination);
    const QStringList left = QDir(QString::fromStdString(disk)).entryList(QDir::Files | QDir::Hidden);
    // A file that fits, then a decryption that does not.
    mg::test::WriteFile(Path("small"), Pseudorandom(100 << 10));
    QVERIFY(strong::EncryptFile(Path("small"), disk + "/small.enc", crypt_.Strong));
    mg::test::WriteFile(disk + "/filler", Bytes(120 << 10, 1));
    const mg::CipherResult dec = crypt_.DecryptFileEx(disk + "/small.enc", disk + "/out", 0);
    const QStringList after = QDir(QString::fromStdString(disk)).entryList(QDir::Files | QDir::Hidden);
    ::umount(disk.c_str());
    QVERIFY(left.isEmpty());
    QCOMPARE(dec.failure, mg::CipherFailure::CannotWriteDestination);
    QCOMPARE(after, QStringList({"filler", "small.enc"}));
}

QTEST_GUILESS_MAIN(TestStrongCrypt)
#include "tst_strongcrypt.moc"
