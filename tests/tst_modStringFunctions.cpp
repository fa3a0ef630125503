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
    QTest::addColumn<bool>("textCompare");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("index"); // 99: left alone

    const QString comma = u","_s;
    QTest::newRow("no delimiter: plain search")
        << u"abc"_s << u"abc"_s << 1 << false << comma << 1 << 99;
    QTest::newRow("plain search, text compare")
        << u"ABC"_s << u"bc"_s << 1 << true << comma << 2 << 99;
    QTest::newRow("nothing found sets index 0")
        << u"abc"_s << u"x,y"_s << 1 << false << comma << 0 << 0;
    QTest::newRow("empty text") << QString() << u"a,b"_s << 1 << false << comma << 0 << 99;
    QTest::newRow("empty list") << u"abc"_s << QString() << 1 << false << comma << 0 << 99;
    QTest::newRow("start skips earlier occurrences")
        << u"abab"_s << u"b,a"_s << 3 << false << comma << 3 << 1;
    QTest::newRow("start past the end") << u"ab"_s << u"a,b"_s << 3 << false << comma << 0 << 0;
    QTest::newRow("empty item past the end") << u"ab"_s << u",x"_s << 3 << false << comma << 0 << 0;
    QTest::newRow("empty item at start") << u"abc"_s << u"z,"_s << 2 << false << comma << 2 << 1;
    QTest::newRow("empty item at the last character")
        << u"a"_s << u",b"_s << 0 << false << comma << 1 << 0;
    QTest::newRow("start below 1 is 1") << u"ab"_s << u"b,a"_s << -5 << false << comma << 1 << 1;
    QTest::newRow("binary compare keeps case")
        << u"xABC"_s << u"c,b"_s << 1 << false << comma << 0 << 0;
    QTest::newRow("delimiter's first character only")
        << u"a;b"_s << u"b;a"_s << 1 << false << u";x"_s << 1 << 1;
    QTest::newRow("list without the delimiter is one item")
        << u"x;a,b"_s << u"a,b"_s << 1 << false << u";"_s << 3 << 99;
}

void TestModStringFunctions::findAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(int, start);
    QFETCH(bool, textCompare);
    QFETCH(QString, delimiter);
    QFETCH(int, position);
    QFETCH(int, index);
    int foundIndex = 99;
    const CompareMode mode = textCompare ? CompareMode::Text : CompareMode::Binary;
    QCOMPARE(FindAny(text, findList, foundIndex, start, mode, delimiter), position);
    QCOMPARE(foundIndex, index);
}

void TestModStringFunctions::replaceAny_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("findList");
    QTest::addColumn<QString>("replaceList");
    QTest::addColumn<bool>("textCompare");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("expected");
    const QString comma = u","_s;

    QTest::newRow("empty text") << QString() << u"a"_s << u"b"_s << false << comma << QString();
    QTest::newRow("item for item")
        << u"a-b+c"_s << u"-,+"_s << u"1,2"_s << false << comma << u"a1b2c"_s;
    QTest::newRow("short list lends its last item")
        << u"abc"_s << u"a,b,c"_s << u"x,y"_s << false << comma << u"xyy"_s;
    // Not even for the rule on replacements equal to an item.
    QTest::newRow("extra replacements ignored")
        << u"b"_s << u"a,"_s << u"x,y,a"_s << false << comma << u"b"_s;
    QTest::newRow("empty replacement list removes")
        << u"a-b-c"_s << u"-"_s << QString() << false << comma << u"abc"_s;
    QTest::newRow("empty find list")
        << u"abc"_s << QString() << u"x"_s << false << comma << u"abc"_s;
    QTest::newRow("endless: a to ba")
        << u"aa"_s << u"a"_s << u"ba"_s << false << comma << u"baba"_s;
    QTest::newRow("endless after a step inside the rewritten text")
        << u"c"_s << u"c,d,a"_s << u"xd,ea,fa"_s << false << comma << u"xea"_s;
    QTest::newRow("a to ab") << u"aa"_s << u"a"_s << u"ab"_s << false << comma << u"abab"_s;
    QTest::newRow("replacement equal to another item")
        << u"ab"_s << u"a,b"_s << u"b,c"_s << false << comma << u"bc"_s;
    QTest::newRow("shorter replacement at the start")
        << u"abcabcx"_s << u"abc"_s << QString() << false << comma << u"x"_s;
    QTest::newRow("search resumes inside the replacement")
        << u"abb"_s << u"ab"_s << u"xa"_s << false << comma << u"xxa"_s;
    QTest::newRow("search goes back before the replacement")
        << u"aab"_s << u"ab"_s << u"b"_s << false << comma << u"b"_s;
    QTest::newRow("item found in the replacement just made")
        << u"ab"_s << u"ab,c"_s << u"cb,x"_s << false << comma << u"xb"_s;
    QTest::newRow("overlapping occurrences, left first")
        << u"aaa"_s << u"aa"_s << u"b"_s << false << comma << u"ba"_s;
    QTest::newRow("earliest occurrence first")
        << u"abc"_s << u"bc,ab"_s << u"X,Y"_s << false << comma << u"Yc"_s;
    QTest::newRow("binary compare")
        << u"ABC-abc"_s << u"b"_s << u"x"_s << false << comma << u"ABC-axc"_s;
    QTest::newRow("same text again after going back")
        << u"abA"_s << u"ab,a"_s << u"aaa,"_s << false << comma << u"A"_s;
    QTest::newRow("endless: empty find item")
        << u"ab"_s << u",x"_s << u"-"_s << false << comma << u"ab"_s;
    QTest::newRow("empty find item equal to a replacement")
        << u"abc"_s << u",x"_s << u"x"_s << false << comma << u"xaxbxc"_s;
    QTest::newRow("list without the delimiter is one item")
        << u"a,b;a"_s << u"a,b"_s << u"z"_s << false << u";"_s << u"z;a"_s;
    QTest::newRow("item before an empty one")
        << u"cab"_s << u"a,"_s << QString() << false << comma << u"cb"_s;
    QTest::newRow("empty item first") << u"ab"_s << u",a"_s << u"b"_s << false << comma << u"bb"_s;
    QTest::newRow("empty item first, then a cut")
        << u"aaxa"_s << u",ba,a"_s << u"b"_s << false << comma << u"bbxb"_s;
    // The replacement is its own item again when case is ignored.
    QTest::newRow("text compare, endless: A to a")
        << u"A"_s << u"A,b"_s << u"a"_s << true << comma << u"a"_s;
    // Each 'a' becomes "ba" once: the endless run on each inserted 'a' is cut.
    QTest::newRow("20,000 self-referring")
        << QString(20000, u'a') << u"a"_s << u"ba"_s << false << comma << u"ba"_s.repeated(20000);
}

void TestModStringFunctions::replaceAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(QString, replaceList);
    QFETCH(bool, textCompare);
    QFETCH(QString, delimiter);
    QFETCH(QString, expected);
    const CompareMode mode = textCompare ? CompareMode::Text : CompareMode::Binary;
    QCOMPARE(ReplaceAny(text, findList, replaceList, mode, delimiter), expected);
}

QTEST_GUILESS_MAIN(TestModStringFunctions)
#include "tst_modStringFunctions.moc"