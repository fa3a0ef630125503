#include "text/modStringFunctions.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

const QChar NUL(u'\0');
const QChar TAB(u'\t');

} // namespace

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
    void replaceAnyEndsOnLongSelfReferringText();
};

void TestModStringFunctions::trimAtNull_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("260-char buffer")
        << (QStringLiteral("abc") + QString(257, NUL)) << QStringLiteral("abc");
    QTest::newRow("no NUL") << QStringLiteral("tree.cl2") << QStringLiteral("tree.cl2");
    QTest::newRow("starts with NUL") << (NUL + QStringLiteral("abc")) << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("leftovers after first NUL")
        << (QStringLiteral("ab") + NUL + QStringLiteral("old.cl2") + NUL) << QStringLiteral("ab");
}

void TestModStringFunctions::trimAtNull()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TrimAtNull(input), expected);
}

void TestModStringFunctions::findAny_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("findList");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("textCompare");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("expectedPosition");
    QTest::addColumn<int>("expectedIndex"); // 99: left unchanged

    const QString comma = QStringLiteral(",");
    QTest::newRow("earlier occurrence wins over earlier item")
        << u"x1y2"_s << u"2,1"_s << 1 << false << comma << 2 << 1;
    QTest::newRow("no delimiter is a plain search, index untouched")
        << u"abc"_s << u"abc"_s << 1 << false << comma << 1 << 99;
    QTest::newRow("plain search not found, index untouched")
        << u"abc"_s << u"x"_s << 1 << false << comma << 0 << 99;
    QTest::newRow("empty item wins at the start; empty delimiter means comma")
        << u"a;b"_s << u",;"_s << 1 << false << QString() << 1 << 0;
    QTest::newRow("same position: earlier item wins")
        << u"xabc"_s << u"abc,ab"_s << 1 << false << comma << 2 << 0;
    QTest::newRow("same position: earlier item wins, reversed")
        << u"xabc"_s << u"ab,abc"_s << 1 << false << comma << 2 << 0;
    QTest::newRow("nothing found sets index 0")
        << u"abc"_s << u"x,y"_s << 1 << false << comma << 0 << 0;
    QTest::newRow("empty text, index untouched")
        << QString() << u"a,b"_s << 1 << false << comma << 0 << 99;
    QTest::newRow("empty list, index untouched")
        << u"abc"_s << QString() << 1 << false << comma << 0 << 99;
    QTest::newRow("start skips earlier occurrences")
        << u"abab"_s << u"b,a"_s << 3 << false << comma << 3 << 1;
    QTest::newRow("start past the end") << u"ab"_s << u"a,b"_s << 3 << false << comma << 0 << 0;
    QTest::newRow("empty item past the end is not found")
        << u"ab"_s << u",x"_s << 3 << false << comma << 0 << 0;
    QTest::newRow("empty item found at start")
        << u"abc"_s << u"z,"_s << 2 << false << comma << 2 << 1;
    QTest::newRow("start below 1 counts as 1")
        << u"ab"_s << u"b,a"_s << -5 << false << comma << 1 << 1;
    QTest::newRow("text compare ignores case")
        << u"xABC"_s << u"c,b"_s << 1 << true << comma << 3 << 1;
    QTest::newRow("binary compare keeps case")
        << u"xABC"_s << u"c,b"_s << 1 << false << comma << 0 << 0;
    QTest::newRow("plain search in text compare")
        << u"ABC"_s << u"bc"_s << 1 << true << comma << 2 << 99;
    QTest::newRow("only the delimiter's first character counts")
        << u"a;b"_s << u"b;a"_s << 1 << false << u";x"_s << 1 << 1;
    QTest::newRow("list without the given delimiter is one item")
        << u"x;a,b"_s << u"a,b"_s << 1 << false << u";"_s << 3 << 99;
    QTest::newRow("NUL and TAB items") << (u"a"_s + NUL + u"b"_s) << (QString(NUL) + TAB + u"b"_s)
                                       << 1 << false << QString(TAB) << 2 << 0;
}

void TestModStringFunctions::findAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(int, start);
    QFETCH(bool, textCompare);
    QFETCH(QString, delimiter);
    QFETCH(int, expectedPosition);
    QFETCH(int, expectedIndex);

    int foundIndex = 99;
    const int position = FindAny(text, findList, foundIndex, start,
                                 textCompare ? CompareMode::Text : CompareMode::Binary, delimiter);
    QCOMPARE(position, expectedPosition);
    QCOMPARE(foundIndex, expectedIndex);
}

void TestModStringFunctions::replaceAny_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("findList");
    QTest::addColumn<QString>("replaceList");
    QTest::addColumn<bool>("textCompare");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("expected");

    const QString comma = QStringLiteral(",");
    QTest::newRow("mask separators become NUL")
        << u"a, b;c"_s << (u","_s + TAB + u";"_s + TAB + u" "_s) << QString(NUL) << true
        << QString(TAB) << (u"a"_s + NUL + NUL + u"b"_s + NUL + u"c"_s);
    QTest::newRow("empty text") << QString() << u"a"_s << u"b"_s << false << comma << QString();
    QTest::newRow("item for item")
        << u"a-b+c"_s << u"-,+"_s << u"1,2"_s << false << comma << u"a1b2c"_s;
    QTest::newRow("one replacement serves every item")
        << u"a-b+c"_s << u"-,+"_s << u"_"_s << false << comma << u"a_b_c"_s;
    QTest::newRow("short replacement list lends its last item")
        << u"abc"_s << u"a,b,c"_s << u"x,y"_s << false << comma << u"xyy"_s;
    QTest::newRow("extra replacement items are ignored")
        << u"abc"_s << u"a,b"_s << u"x,y,z"_s << false << comma << u"xyc"_s;
    QTest::newRow("empty replacement list removes")
        << u"a-b-c"_s << u"-"_s << QString() << false << comma << u"abc"_s;
    QTest::newRow("empty find list leaves the text")
        << u"abc"_s << QString() << u"x"_s << false << comma << u"abc"_s;
    QTest::newRow("endless: a to ba")
        << u"aa"_s << u"a"_s << u"ba"_s << false << comma << u"baba"_s;
    QTest::newRow("endless after a step inside the rewritten text")
        << u"c"_s << u"c,d,a"_s << u"xd,ea,fa"_s << false << comma << u"xea"_s;
    QTest::newRow("replacement holding its item: a to ab")
        << u"aa"_s << u"a"_s << u"ab"_s << false << comma << u"abab"_s;
    QTest::newRow("replacement equal to another item is not replaced again")
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
    QTest::newRow("text compare") << u"ABC-abc"_s << u"b"_s << u"x"_s << true << comma
                                  << u"AxC-axc"_s;
    QTest::newRow("binary compare")
        << u"ABC-abc"_s << u"b"_s << u"x"_s << false << comma << u"ABC-axc"_s;
    QTest::newRow("same text again after going back is no repetition")
        << u"abA"_s << u"ab,a"_s << u"aaa,"_s << false << comma << u"A"_s;
    QTest::newRow("endless: empty find item")
        << u"ab"_s << u",x"_s << u"-"_s << false << comma << u"ab"_s;
    QTest::newRow("empty find item equal to a replacement")
        << u"abc"_s << u",x"_s << u"x"_s << false << comma << u"xaxbxc"_s;
    QTest::newRow("list without the delimiter is one item")
        << u"a,b;a"_s << u"a,b"_s << u"z"_s << false << u";"_s << u"z;a"_s;
}

void TestModStringFunctions::replaceAny()
{
    QFETCH(QString, text);
    QFETCH(QString, findList);
    QFETCH(QString, replaceList);
    QFETCH(bool, textCompare);
    QFETCH(QString, delimiter);
    QFETCH(QString, expected);

    QCOMPARE(ReplaceAny(text, findList, replaceList,
                        textCompare ? CompareMode::Text : CompareMode::Binary, delimiter),
             expected);
}

void TestModStringFunctions::replaceAnyEndsOnLongSelfReferringText()
{
    // Each 'a' becomes 'ba' once: the endless run on each inserted 'a' is cut.
    const QString text(20000, u'a');
    QString expected;
    for (int i = 0; i < 20000; ++i) {
        expected += u"ba";
    }
    QCOMPARE(ReplaceAny(text, u"a"_s, u"ba"_s, CompareMode::Text, u","_s), expected);
}

QTEST_GUILESS_MAIN(TestModStringFunctions)
#include "tst_modStringFunctions.moc"
