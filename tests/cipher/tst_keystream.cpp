// The keystream generator: its first bytes, draws of other ranges, and the
// lane-parallel keystream against the byte-by-byte reference.
#include "cipher/Keystream.h"

#include <QtTest>
#include <vector>

class TestKeystream : public QObject {
    Q_OBJECT
private slots:
    void keyZeroStream_data();
    void keyZeroStream();
    void drawRandomRange();
    void seedIsKeyPattern();
    void matchesSerial_data();
    void matchesSerial();
    void seedAfterJumps();
};

void TestKeystream::keyZeroStream_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("byte");
    const int expected[] = {0x00, 0x08, 0xDC, 0x33, 0x45, 0xAB, 0x51, 0x29};
    for (int i = 0; i < 8; ++i)
        QTest::addRow("byte %d", i) << i << expected[i];
}

void TestKeystream::keyZeroStream()
{
    QFETCH(int, index);
    QFETCH(int, byte);
    mg::SetSeed(0);
    std::vector<std::uint8_t> data(8, 0);
    mg::ApplyKeystream(data.data(), data.size());
    QCOMPARE(int(data[index]), byte);
    // A JPEG start FF D8 FF E0 encrypts to FF D0 23 D3 under key 0.
    std::uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0};
    mg::SetSeed(0);
    mg::ApplyKeystream(head, 4);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(head), 4), QByteArray("\xFF\xD0\x23\xD3"));
}

void TestKeystream::drawRandomRange()
{
    // The result is (range x new seed) div 2^32, and every draw is one step
    // whatever its range.
    mg::SetSeed(0);
    QCOMPARE(mg::DrawRandom(1000), 0u); // new seed 1
    QCOMPARE(mg::Seed(), 1u);
    QCOMPARE(mg::DrawRandom(1000), std::uint32_t((1000ull * 134775814u) >> 32));
    QCOMPARE(mg::DrawRandom(0), 0u);
    QCOMPARE(mg::Seed(), mg::SeedAfter(0, 3));
}

void TestKeystream::seedIsKeyPattern()
{
    mg::SetSeed(-1);
    QCOMPARE(mg::Seed(), 0xFFFFFFFFu);
}

void TestKeystream::matchesSerial_data()
{
    // The fast path works on blocks of 64 lanes; these lengths cross every
    // lane and block boundary, the chunk size and an odd large length. From
    // 16 MiB on a streaming kernel runs after an aligning head, so the big
    // rows start at odd offsets too.
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("key");
    for (int length : {0, 1, 63, 64, 65, 127, 128, 129, 4096, 1 << 20, 1000003})
        QTest::addRow("length %d", length) << length << 0 << 0x2468ACE1;
    QTest::newRow("negative key, odd length") << 777 << 0 << -5;
    QTest::newRow("streaming, whole buffer") << (16 << 20) << 0 << 42;
    QTest::newRow("streaming, odd offset and length") << (16 << 20) + 4099 << 5 << 42;
}

void TestKeystream::matchesSerial()
{
    QFETCH(int, length);
    QFETCH(int, offset);
    QFETCH(int, key);
    std::vector<std::uint8_t> fast(static_cast<std::size_t>(length + offset));
    std::vector<std::uint8_t> serial;
    for (std::size_t i = 0; i < fast.size(); ++i)
        fast[i] = std::uint8_t(i * 7 + 3);
    serial = fast;
    mg::SetSeed(key);
    mg::ApplyKeystreamSerial(serial.data() + offset, std::size_t(length));
    const std::uint32_t serialSeed = mg::Seed();
    mg::SetSeed(key);
    mg::ApplyKeystream(fast.data() + offset, std::size_t(length));
    QCOMPARE(mg::Seed(), serialSeed);
    QVERIFY(fast == serial);
}

void TestKeystream::seedAfterJumps()
{
    std::uint32_t seed = 12345;
    for (int i = 0; i < 1000; ++i)
        seed = seed * 134775813u + 1u;
    QCOMPARE(mg::SeedAfter(12345, 1000), seed);
    QCOMPARE(mg::SeedAfter(12345, 0), 12345u);
}

QTEST_APPLESS_MAIN(TestKeystream)
#include "tst_keystream.moc"
