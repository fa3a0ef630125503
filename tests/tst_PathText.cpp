#include "support/PathReading.h"
#include "text/PathText.h"

#include <QTest>

using namespace velmora;
using velmora::test::unescapedPath;
using namespace Qt::StringLiterals;

class TestPathText : public QObject
{
    Q_OBJECT

private slots:
    void escapedPath_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("dir/a b (copy).cl2") << u"dir/a b (copy).cl2"_s;
        QTest::newRow("printable UTF-8") << u"héros ünd 日本 😀"_s.toUtf8() << u"héros ünd 日本 😀"_s;
        QTest::newRow("newline, return, tab") << QByteArray("a\nb\rc\td") << u"a\\nb\\rc\\td"_s;
        QTest::newRow("escape, DEL, NUL-free C0")
            << QByteArray("\x1b[31m\x7f\x01") << u"\\x1b[31m\\x7f\\x01"_s;
        QTest::newRow("C1 control") << QByteArray("a\xc2\x85") << u"a\\xc2\\x85"_s;
        QTest::newRow("line separator, right-to-left override")
            << QByteArray("\xe2\x80\xa8\xe2\x80\xae") << u"\\xe2\\x80\\xa8\\xe2\\x80\\xae"_s;
        QTest::newRow("Latin-1") << QByteArray("h\xe9ros") << u"h\\xe9ros"_s;
        QTest::newRow("cut short at the end") << QByteArray("a\xe6\x97") << u"a\\xe6\\x97"_s;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << u"\\xc0\\xaf"_s;
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << u"\\xed\\xa0\\x80"_s;
        QTest::newRow("past U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << u"\\xf4\\x90\\x80\\x80"_s;
        QTest::newRow("backslash before a plain letter")
            << QByteArray("C:\\maps\\b.cl2") << u"C:\\maps\\b.cl2"_s;
        QTest::newRow("backslash that would read as an escape")
            << QByteArray("a\\x41\\n") << u"a\\\\x41\\\\n"_s;
        QTest::newRow("backslashes in a row") << QByteArray("\\\\") << u"\\\\\\"_s;
        QTest::newRow("backslash before a newline") << QByteArray("\\\n") << u"\\\\\\n"_s;
    }

    void escapedPath()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(velmora::escapedPath(bytes), shown);
        QCOMPARE(unescapedPath(shown), bytes);
    }
};

QTEST_GUILESS_MAIN(TestPathText)
#include "tst_PathText.moc"
