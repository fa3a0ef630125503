#include "text/modStringFunctions.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

class TestModStringFunctions : public QObject
{
    Q_OBJECT

private slots:
    void trimAtNull_data();
    void trimAtNull();
    void findAny_data();
    void findAny();
    void replaceAny_data();
    void replaceAny();
};

void TestModStringFunctions::trimAtNull_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const QChar nul(u'\0');
    QTest::newRow("260-char buffer") << (u"abc"_s + QString(257, nul)) << u"abc"_s;
    QTest::newRow("no NUL") << u"tree.cl2"_s << u"tree.cl2"_s;
    QTest::newRow("starts with NUL") << (nul + u"abc"_s) << QString();
    QTest::newRow("leftovers after the first NUL")
        << (u"ab"_s + nul + u"old.cl2"_s + nul) << u"ab"_s;
}

void TestModStringFunctions::trimAtNull()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TrimAtNull(input), expected);
}

// Cases the replayed fuzz corpus does not reach: the earliest occurrence, ties
// and empty items are checked there against a plain search.
void TestModStringFunctions::findAny_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("findList");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("index"); // 99: left alone

    const QString comma = u","_s;
    QTest::newRow("no delimiter: plain search") << u"abc"_s << u"abc"_s << 1 << comma << 1 << 99;
    QTest::newRow("nothing found sets index 0") << u"abc"_s << u"x,y"_s << 1 << comma << 0 << 0;
    QTest::newRow("empty text") << QString() << u"a,b"_s << 1 << comma << 0 << 99;
    QTest::newRow("empty list") << u"abc"_s << QString() << 1 << comma << 0 << 99;
    QTest::newRow("start past the end") << u"ab"_s << u"a,b"_s << 3 << comma << 0 << 0;
    QTest::newRow("empty item at start") << u"abc"_s << u"z,"_s << 2 << comma << 2 << 1;
    QTest::newRow("empty item at the last character") << u"a"_s << u",b"_s << 0 << comma << 1 << 0;
    QTest::newRow("start below 1 is 1") << u"ab"_s << u"b,a"_s << -5 << comma << 1 << 1;
    QTest::newRow("delimiter's first character only")
        << u"a;b"_s << u"b;a"_s << 1 << u";x"_s << 1 << 1;
}

void TestModStringFunctions::findAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(int, start);
    QFETCH(QString, delimiter);
    QFETCH(int, position);
    QFETCH(int, index);
    int foundIndex = 99;
    QCOMPARE(FindAny(text, findList, foundIndex, start, CompareMode::Binary, delimiter), position);
    QCOMPARE(foundIndex, index);
}

void TestModStringFunctions::replaceAny_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("findList");
    QTest::addColumn<QString>("replaceList");
    QTest::addColumn<bool>("textCompare");
    QTest::addColumn<QString>("expected");

    QTest::newRow("item for item") << u"a-b+c"_s << u"-,+"_s << u"1,2"_s << false << u"a1b2c"_s;
    QTest::newRow("short list lends its last item")
        << u"abc"_s << u"a,b,c"_s << u"x,y"_s << false << u"xyy"_s;
    // Not even for the rule on replacements equal to an item.
    QTest::newRow("extra replacements ignored")
        << u"b"_s << u"a,"_s << u"x,y,a"_s << false << u"b"_s;
    QTest::newRow("empty replacement list removes")
        << u"a-b-c"_s << u"-"_s << QString() << false << u"abc"_s;
    QTest::newRow("empty find list") << u"abc"_s << QString() << u"x"_s << false << u"abc"_s;
    QTest::newRow("endless: a to ba") << u"aa"_s << u"a"_s << u"ba"_s << false << u"baba"_s;
    QTest::newRow("search resumes inside the replacement")
        << u"abb"_s << u"ab"_s << u"xa"_s << false << u"xxa"_s;
    QTest::newRow("search goes back before the replacement")
        << u"aab"_s << u"ab"_s << u"b"_s << false << u"b"_s;
    QTest::newRow("same text again after going back")
        << u"abA"_s << u"ab,a"_s << u"aaa,"_s << false << u"A"_s;
    QTest::newRow("endless: empty find item") << u"ab"_s << u",x"_s << u"-"_s << false << u"ab"_s;
    QTest::newRow("empty find item equal to a replacement")
        << u"abc"_s << u",x"_s << u"x"_s << false << u"xaxbxc"_s;
    QTest::newRow("item before an empty one")
        << u"cab"_s << u"a,"_s << QString() << false << u"cb"_s;
    QTest::newRow("empty item first, then a cut")
        << u"aaxa"_s << u",ba,a"_s << u"b"_s << false << u"bbxb"_s;
    // The replacement is its own item again when case is ignored.
    QTest::newRow("text compare, endless: A to a")
        << u"A"_s << u"A,b"_s << u"a"_s << true << u"a"_s;
    // Each 'a' becomes "ba" once: the endless run on each inserted 'a' is cut.
    QTest::newRow("20,000 self-referring")
        << QString(20000, u'a') << u"a"_s << u"ba"_s << false << u"ba"_s.repeated(20000);
}

void TestModStringFunctions::replaceAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(QString, replaceList);
    QFETCH(bool, textCompare);
    QFETCH(QString, expected);
    const CompareMode mode = textCompare ? CompareMode::Text : CompareMode::Binary;
    QCOMPARE(ReplaceAny(text, findList, replaceList, mode, QString()), expected);
}

QTEST_GUILESS_MAIN(TestModStringFunctions)
#include "tst_modStringFunctions.moc"