// Key texts: the integer-text rules and the Windows-1252 passphrase bytes.
#include "cipher/KeyText.h"
#include "cipher/passKey.h"

#include <QtTest>

class TestKeyText : public QObject {
    Q_OBJECT
private slots:
    void integerText_data();
    void integerText();
    void passphraseBytes_data();
    void passphraseBytes();
    void keyForText();
    void fieldLength_data();
    void fieldLength();
};

void TestKeyText::integerText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("isInteger");
    QTest::addColumn<int>("value");
    QTest::newRow("plain decimal") << QByteArray("1234") << true << 1234;
    QTest::newRow("leading spaces skipped") << QByteArray("   42") << true << 42;
    QTest::newRow("trailing space rejects") << QByteArray("42 ") << false << 0;
    QTest::newRow("leading tab is not a space") << QByteArray("\t42") << false << 0;
    QTest::newRow("plus sign") << QByteArray("+7") << true << 7;
    QTest::newRow("minus sign negates") << QByteArray("-7") << true << -7;
    QTest::newRow("int32 max") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("int32 min") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("one past int32 max") << QByteArray("2147483648") << false << 0;
    QTest::newRow("one past int32 min") << QByteArray("-2147483649") << false << 0;
    QTest::newRow("leading zeros are free") << QByteArray("000000000000012") << true << 12;
    QTest::newRow("dollar prefix") << QByteArray("$ff") << true << 255;
    QTest::newRow("x prefix") << QByteArray("x1A") << true << 26;
    QTest::newRow("X prefix") << QByteArray("X1a") << true << 26;
    QTest::newRow("0x prefix") << QByteArray("0x10") << true << 16;
    QTest::newRow("0X prefix after spaces") << QByteArray("  0X10") << true << 16;
    QTest::newRow("high hex bit gives negative") << QByteArray("$FFFFFFFF") << true << -1;
    QTest::newRow("hex 80000000 is int32 min") << QByteArray("x80000000") << true << int(-2147483647 - 1);
    QTest::newRow("hex leading zeros are free") << QByteArray("$000000000001") << true << 1;
    QTest::newRow("nine significant hex digits") << QByteArray("$100000000") << false << 0;
    QTest::newRow("sign before hex prefix") << QByteArray("-$10") << false << 0;
    QTest::newRow("plus before 0x") << QByteArray("+0x10") << false << 0;
    QTest::newRow("prefix without digits") << QByteArray("0x") << false << 0;
    QTest::newRow("sign without digits") << QByteArray("-") << false << 0;
    QTest::newRow("non-hex letter after prefix") << QByteArray("$fg") << false << 0;
    QTest::newRow("letters after digits") << QByteArray("12ab") << false << 0;
    QTest::newRow("empty text") << QByteArray() << false << 0;
    QTest::newRow("spaces alone") << QByteArray("   ") << false << 0;
}

void TestKeyText::integerText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, isInteger);
    QFETCH(int, value);
    const auto parsed = mg::ParseIntegerText(std::string_view(text.constData(), text.size()));
    QCOMPARE(parsed.has_value(), isInteger);
    if (isInteger)
        QCOMPARE(*parsed, value);
}

void TestKeyText::passphraseBytes_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII unchanged") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("e acute is one Latin-1 byte") << QByteArray("caf\xc3\xa9") << QByteArray("caf\xe9");
    QTest::newRow("euro sign is 0x80") << QByteArray("\xe2\x82\xac") << QByteArray("\x80");
    QTest::newRow("y diaeresis capital is 0x9F") << QByteArray("\xc5\xb8") << QByteArray("\x9f");
    QTest::newRow("character outside cp1252 keeps the whole UTF-8 text")
        << QByteArray("\xc3\xa9\xe2\x82\xac\xce\xb1") << QByteArray("\xc3\xa9\xe2\x82\xac\xce\xb1");
    QTest::newRow("malformed UTF-8 kept as it is") << QByteArray("a\xe9z") << QByteArray("a\xe9z");
    QTest::newRow("overlong encoding kept as it is") << QByteArray("\xc1\x81") << QByteArray("\xc1\x81");
}

void TestKeyText::passphraseBytes()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, bytes);
    const std::string out = mg::PassphraseBytes(std::string_view(utf8.constData(), utf8.size()));
    QCOMPARE(QByteArray(out.data(), qsizetype(out.size())), bytes);
}

void TestKeyText::keyForText()
{
    // Integer texts are the key; other texts, spaces alone included, are
    // derived by PassphraseKey.
    const mg::KeyFromText integer = mg::KeyForText(" -12");
    QVERIFY(integer.isInteger);
    QCOMPARE(integer.key, -12);
    const mg::KeyFromText phrase = mg::KeyForText("12 ");
    QVERIFY(!phrase.isInteger);
    QCOMPARE(phrase.key, mg::PassphraseKey("12 "));
    QCOMPARE(mg::KeyForText("   ").key, mg::PassphraseKey("   "));
    QCOMPARE(mg::KeyForText("abc").key, 5196);
}

void TestKeyText::fieldLength_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<int>("length");
    QTest::newRow("ASCII counts bytes") << QByteArray("abc") << 3;
    QTest::newRow("two-byte letter counts once") << QByteArray("caf\xc3\xa9") << 4;
    QTest::newRow("euro sign counts once") << QByteArray("\xe2\x82\xac") << 1;
    QTest::newRow("character beyond U+FFFF counts twice") << QByteArray("\xf0\x9f\x98\x80") << 2;
    QTest::newRow("malformed UTF-8 counts bytes") << QByteArray("a\xe9\xe9z") << 4;
}

void TestKeyText::fieldLength()
{
    QFETCH(QByteArray, utf8);
    QFETCH(int, length);
    QCOMPARE(mg::PassphraseFieldLength(std::string_view(utf8.constData(), utf8.size())), std::size_t(length));
}

QTEST_APPLESS_MAIN(TestKeyText)
#include "tst_keytext.moc"
