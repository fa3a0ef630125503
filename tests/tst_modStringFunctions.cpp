#include "text/modStringFunctions.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

class TestModStringFunctions : public QObject
{
    Q_OBJECT

private slots:
    void replaceAny_data();
    void replaceAny();
};

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
    QTest::newRow("empty item after a removal")
        << u"bab"_s << u"a,"_s << QString() << false << u"bb"_s;
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