// Passphrase keys: the worked values, the prime helpers, 32-bit wrapping.
#include "cipher/passKey.h"

#include <QtTest>
#include <string>

class TestPassKey : public QObject {
    Q_OBJECT
private slots:
    void passphraseKey_data();
    void passphraseKey();
    void nthPrime_data();
    void nthPrime();
    void isPrime_data();
    void isPrime();
    void longTextsWrapPastInt32();
    void rot13_data();
    void rot13();
};

void TestPassKey::passphraseKey_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("key");
    QTest::newRow("empty text gives 0") << QByteArray() << 0;
    QTest::newRow("one letter uses the first position's prime") << QByteArray("a") << 1018;
    QTest::newRow("second position multiplies by 3") << QByteArray("ab") << 2581;
    QTest::newRow("three letters") << QByteArray("abc") << 5196;
    QTest::newRow("order matters") << QByteArray("cba") << 5154;
    QTest::newRow("case matters") << QByteArray("ABC") << 3232;
    QTest::newRow("255 bytes of 255 stay below the wrap") << QByteArray(255, '\xff') << 306689368;
}

void TestPassKey::passphraseKey()
{
    QFETCH(QByteArray, text);
    QFETCH(int, key);
    QCOMPARE(mg::PassphraseKey(std::string_view(text.constData(), text.size())), key);
}

void TestPassKey::nthPrime_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("prime");
    QTest::newRow("first prime") << 1 << 2;
    QTest::newRow("second prime") << 2 << 3;
    QTest::newRow("fifth prime") << 5 << 11;
    QTest::newRow("65th prime (A)") << 65 << 313;
    QTest::newRow("99th prime (c)") << 99 << 523;
    QTest::newRow("largest byte value") << 255 << 1613;
    QTest::newRow("zero gives 2") << 0 << 2;
    QTest::newRow("negative gives 2") << -1 << 2;
}

void TestPassKey::nthPrime()
{
    QFETCH(int, n);
    QFETCH(int, prime);
    QCOMPARE(mg::NthPrime(n), prime);
}

void TestPassKey::isPrime_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("prime");
    QTest::newRow("2 has an empty loop") << 2 << true;
    QTest::newRow("3 has an empty loop") << 3 << true;
    QTest::newRow("4 is the first composite") << 4 << false;
    QTest::newRow("square of 3") << 9 << false;
    QTest::newRow("square of 5") << 25 << false;
    QTest::newRow("1613") << 1613 << true;
}

void TestPassKey::isPrime()
{
    QFETCH(int, n);
    QFETCH(bool, prime);
    QCOMPARE(mg::IsPrime(n), prime);
}

void TestPassKey::longTextsWrapPastInt32()
{
    // 623 bytes of 255 still fit in an int32; the 624th overflows it, and
    // the key must be the wrapped value, negative, not a saturated one.
    const std::string before(623, '\xff');
    const std::string after(624, '\xff');
    QVERIFY(mg::PassphraseKey(before) > 0);
    QVERIFY(mg::PassphraseKey(after) < 0);
    const std::int64_t exact = std::int64_t{mg::PassphraseKey(before)} + std::int64_t{1613} * mg::NthPrime(624);
    QCOMPARE(std::int64_t{mg::PassphraseKey(after)}, exact - (std::int64_t{1} << 32));
}

void TestPassKey::rot13_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("rotated");
    QTest::newRow("both halves of both cases") << QByteArray("AMNZamnz") << QByteArray("NZAMnzam");
    QTest::newRow("digits, dots and high bytes unchanged") << QByteArray("a1.\xe9@[`{") << QByteArray("n1.\xe9@[`{");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestPassKey::rot13()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, rotated);
    const std::string out = mg::Rot13(std::string_view(text.constData(), text.size()));
    QCOMPARE(QByteArray(out.data(), qsizetype(out.size())), rotated);
}

QTEST_APPLESS_MAIN(TestPassKey)
#include "tst_passkey.moc"
