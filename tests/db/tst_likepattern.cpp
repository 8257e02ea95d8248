#include "db/sql/LikePattern.h"

#include <QtTest>

class TestLikePattern : public QObject
{
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void malformedPatterns();
    void manyWildcardsStayFast();
};

void TestLikePattern::matching_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("contains") << "%138%"
                              << "13812345678" << true;
    QTest::newRow("contains inside") << "%138%"
                                     << "008613812345678" << true;
    QTest::newRow("contains absent") << "%138%"
                                     << "13912345678" << false;
    QTest::newRow("empty pattern matches empty text") << ""
                                                      << "" << true;
    QTest::newRow("empty pattern rejects text") << ""
                                                << "a" << false;
    QTest::newRow("%% matches empty") << "%%"
                                      << "" << true;
    QTest::newRow("%% matches anything") << "%%"
                                         << "李明" << true;
    QTest::newRow("prefix") << "Li%"
                            << "Li 回电" << true;
    QTest::newRow("prefix miss") << "Li%"
                                 << "O'Li" << false;
    QTest::newRow("suffix") << "%客户"
                            << "vip客户" << true;
    QTest::newRow("exact ignores case") << "vip"
                                        << "VIP" << true;
    QTest::newRow("case ignored, ASCII") << "%VIP%"
                                         << "vip客户 李明" << true;
    QTest::newRow("case ignored, Greek") << "%ΑΒΓ%"
                                         << "xαβγx" << true;
    QTest::newRow("case ignored, Cyrillic") << "мир"
                                            << "МИР" << true;
    QTest::newRow("case ignored, Turkish dotted") << "%ŞĞÜ%"
                                                  << "şğü" << true;
    QTest::newRow("underscore one char") << "1_0"
                                         << "110" << true;
    QTest::newRow("underscore needs a char") << "1_0"
                                             << "10" << false;
    QTest::newRow("underscore takes a CJK char") << "李_"
                                                 << "李明" << true;
    QTest::newRow("underscore takes a surrogate pair") << "a_b"
                                                       << QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                                            "b")
                                                       << true;
    QTest::newRow("percent in the middle") << "50%deal"
                                           << "50% off_deal" << true;
    QTest::newRow("set") << "[abc]x"
                         << "bx" << true;
    QTest::newRow("set miss") << "[abc]x"
                              << "dx" << false;
    QTest::newRow("range") << "%[0-9]"
                           << "room 7" << true;
    QTest::newRow("negated set") << "[!0-9]%"
                                 << "a1" << true;
    QTest::newRow("negated set miss") << "[!0-9]%"
                                      << "1a" << false;
    QTest::newRow("set ignores case") << "[A-C]"
                                      << "b" << true;
    QTest::newRow("set holds a wildcard character") << "50[%]%"
                                                    << "50% off" << true;
    QTest::newRow("set literal percent miss") << "50[%]"
                                              << "501" << false;
    QTest::newRow("star is literal under ANSI-92") << "a*"
                                                   << "abc" << false;
    QTest::newRow("star literal match") << "a*"
                                        << "a*" << true;
    QTest::newRow("question mark is literal") << "a?"
                                              << "ab" << false;
    QTest::newRow("backtracking") << "%a%b%c"
                                  << "xaybzcabc" << true;
    QTest::newRow("backtracking miss") << "%a%b%c"
                                       << "xaybzcabd" << false;
    QTest::newRow("trailing percent after chars") << "%1%1%"
                                                  << "121" << true;
    // Digits are searched as they stand; a letter that another character folds to (the
    // Kelvin sign to k) is still matched without regard to case.
    QTest::newRow("folded letter in a needle") << "%1k%" << QString::fromUtf16(u"21\u212A3") << true;
    QTest::newRow("apostrophe is plain") << "%O'Brien%"
                                         << "o'brien" << true;
}

void TestLikePattern::matching()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, expected);
    sql::LikePattern p;
    QVERIFY(p.compile(pattern));
    QCOMPARE(p.matches(text), expected);
}

void TestLikePattern::malformedPatterns()
{
    sql::LikePattern p;
    QVERIFY(!p.compile(QStringLiteral("abc[def")));
    QVERIFY(p.compile(QStringLiteral("abc]")));
    QVERIFY(p.matches(QStringLiteral("ABC]")));
    QVERIFY(p.compile(QStringLiteral("[]")));
    QVERIFY(!p.matches(QStringLiteral("a")));
}

void TestLikePattern::manyWildcardsStayFast()
{
    // A pattern that makes naive backtracking exponential must still finish at once.
    sql::LikePattern p;
    QVERIFY(p.compile(QStringLiteral("%a%a%a%a%a%a%a%a%a%a%a%a%b")));
    QVERIFY(!p.matches(QString(5000, u'a')));
}

QTEST_GUILESS_MAIN(TestLikePattern)
#include "tst_likepattern.moc"
