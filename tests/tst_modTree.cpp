#include "search/modTree.h"
#include "support/Cl2Fixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::makeTree;
using namespace Qt::StringLiterals;

namespace {

// The paths of the space-separated names under root; one empty path for none.
QStringList paths(const QString &root, const QString &names)
{
    QStringList paths;
    for (const QString &name : names.split(u' ', Qt::SkipEmptyParts)) {
        paths.append(root + u'/' + name);
    }
    return paths.isEmpty() ? QStringList{QString()} : paths;
}

} // namespace

class TestModTree : public QObject
{
    Q_OBJECT

private slots:
    void maskLists_data();
    void maskLists();
    void findFiles_data();
    void findFiles();
    void foundFilesKeepTheirBytes();
};

// How a list is parsed and whether it is valid; which names its masks pass,
// the replayed fuzz corpus holds to a plain matcher.
void TestModTree::maskLists_data()
{
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<QString>("masks"); // parsed with wildcards added, space-separated
    QTest::addColumn<QString>("kinds"); // + includes, - excludes; or why it is refused

    const QString noMask = u"holds no mask"_s;
    QTest::newRow("bare word gets stars") << u"cl2"_s << u"*cl2*"_s << u"+"_s;
    QTest::newRow("star dot star is star") << u"*.* !*.bak"_s << u"* !*.bak"_s << u"+-"_s;
    QTest::newRow("exclude of star dot star") << u"!*.*"_s << u"!*"_s << u"-"_s;
    QTest::newRow("comma and space make no empty mask")
        << u"*.cl2, *.cel"_s << u"*.cl2 *.cel"_s << u"+"_s;
    QTest::newRow("semicolons") << u"a?;b?"_s << u"a? b?"_s << u"+"_s;
    QTest::newRow("set with a range") << u"[a-c]x"_s << u"*[a-c]x*"_s << u"+"_s;
    QTest::newRow("lone bang dropped") << u"*.cl2 !"_s << u"*.cl2"_s << u"+"_s;
    QTest::newRow("only excludes") << u"!cl2"_s << u"!*cl2*"_s << u"-"_s;
    QTest::newRow("empty list") << QString() << QString() << noMask;
    QTest::newRow("only bangs") << u"! ;!, !"_s << QString() << noMask;
    QTest::newRow("unclosed bracket") << u"*.cl2 [abc"_s << u"*.cl2 *[abc*"_s << u"unclosed"_s;
    QTest::newRow("bad exclude") << u"*.cl2 !*["_s << u"*.cl2 !*["_s << u"unclosed"_s;
}

void TestModTree::maskLists()
{
    QFETCH(QString, maskList);
    QFETCH(QString, masks);
    QFETCH(QString, kinds);
    QCOMPARE(ParseMaskList(maskList, true), masks.split(u' ', Qt::SkipEmptyParts));
    MaskSet set;
    QString reason;
    const bool valid = kinds.size() <= 2;
    QCOMPARE(PrepareMasks(maskList, set, &reason), valid);
    QVERIFY2(valid ? reason.isEmpty() : reason.contains(kinds), qPrintable(reason));
    QCOMPARE(set.hasInclude, valid && kinds.contains(u'+'));
    QCOMPARE(set.hasExclude, valid && kinds.contains(u'-'));
}

void TestModTree::findFiles_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<QString>("expected"); // in order, relative to the start folder

    QTest::newRow("start folder first, then level by level")
        << u"b.cl2 a.cl2 x.txt z/d.cl2 m/c.cl2 m/sub/e.cl2 z/sub2/f.cl2 m/sub/deep/g.cl2"_s
        << u"*.cl2"_s << u"a.cl2 b.cl2 m/c.cl2 z/d.cl2 m/sub/e.cl2 z/sub2/f.cl2 m/sub/deep/g.cl2"_s;
    QTest::newRow("entries in byte order")
        << u"ab.cl2 a.cl2 _.cl2 B.cl2"_s << u"*.cl2"_s << u"B.cl2 _.cl2 a.cl2 ab.cl2"_s;
    QTest::newRow("folder named like a file is entered, not returned")
        << u"data.cl2/inner.cl2 data.cl2/empty.cl2/"_s << u"*.cl2"_s << u"data.cl2/inner.cl2"_s;
    QTest::newRow("only the name is matched")
        << u"cl2stuff/readme.txt cl2stuff/x.cl2"_s << u"cl2"_s << u"cl2stuff/x.cl2"_s;
    QTest::newRow("malformed mask finds nothing") << u"a.cl2"_s << u"*.cl2 [z-a]"_s << QString();
    QTest::newRow("non-ASCII names") << u"Über.CL2 ordner/ärger.cl2 ordner/straße.txt"_s
                                     << u"*.cl2"_s << u"Über.CL2 ordner/ärger.cl2"_s;
    QTest::newRow("link loops end with each file once")
        << u"a.cl2 sub/b.cl2 sub/up>.. sub/self>."_s << u"*.cl2"_s << u"a.cl2 sub/b.cl2"_s;
    // "alias" sorts before "real": the folder is listed under that name. A link
    // to a file is a file; a dangling link and a pipe are found too, for the
    // batch to count and refuse.
    QTest::newRow("links and pipes")
        << u"real/x.cl2 t.dat alias>real link.cl2>t.dat broken.cl2>missing pipe.cl2|"_s
        << u"*.cl2"_s << u"broken.cl2 link.cl2 pipe.cl2 alias/x.cl2"_s;
}

void TestModTree::findFiles()
{
    QFETCH(QString, tree);
    QFETCH(QString, maskList);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(makeTree(dir.path(), tree));
    MaskSet masks;
    QString error = u"stale"_s;
    // The start folder may end in a separator.
    QCOMPARE(FindFiles(dir.path() + u'/', maskList, &error), paths(dir.path(), expected));
    QCOMPARE(error.isEmpty(), PrepareMasks(maskList, masks, nullptr));
    // However many jobs read the folders, the files come in the same order.
    for (const int jobs : {1, 3, 8}) {
        const FoundFileList found = FindFileList(dir.path(), maskList, nullptr, {}, jobs);
        QStringList got;
        for (qsizetype i = 0; i < found.size(); ++i) {
            got << found.path(i);
        }
        QCOMPARE(found.size() ? got : QStringList{QString()}, paths(dir.path(), expected));
    }
}

// Names that are no UTF-8 are shown as best they can be and kept as the
// system spells them; 0x80 is the first byte that is no ASCII. A path longer
// than one system call takes is reached folder by folder.
void TestModTree::foundFilesKeepTheirBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // QTemporaryDir removes by decoded names and whole paths.
    auto remove = qScopeGuard([&] { QProcess::execute(u"rm"_s, {u"-rf"_s, dir.path()}); });
    QVERIFY(makeTree(dir.path(), u"real/x.cl2 t.dat link.cl2>t.dat hard.cl2=real/x.cl2"_s));
    const QByteArray root = QFile::encodeName(dir.path()), folder(200, 'd');
    QList<QByteArray> names{"/hard.cl2",  "/link.cl2",   "/z\x80.cl2",
                            "/z\xff.cl2", "/real/x.cl2", ""};
    for (const QByteArray &name : names.mid(2, 2)) {
        QCOMPARE(::close(::open(QByteArray(root + name).constData(), O_WRONLY | O_CREAT, 0600)), 0);
    }
    // The chain is built through descriptors: its whole path is too long.
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 24 && fd >= 0; ++level) {
        QCOMPARE(::mkdirat(fd, folder.constData(), 0700), 0);
        const int next = ::openat(fd, folder.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        names.last() += '/' + folder;
    }
    names.last() += "/deep.cl2";
    QVERIFY(fd >= 0 && names.last().size() > 4096);
    QCOMPARE(::close(::openat(fd, "deep.cl2", O_WRONLY | O_CREAT, 0600)) + ::close(fd), 0);
    const FoundFileList found = FindFileList(dir.path(), u"*.cl2"_s);
    QVERIFY(found.unlisted().empty());
    QCOMPARE(found.size(), names.size());
    QByteArray encoded;
    for (qsizetype i = 0; i < found.size(); ++i) {
        QCOMPARE(found.path(i), QFile::decodeName(root + names[i]));
        found.encodedPath(i, encoded);
        QCOMPARE(encoded, root + names[i]);
    }
    QVERIFY(found.path(2) != dir.path() + u"/z\u0080.cl2"_s);
}

QTEST_GUILESS_MAIN(TestModTree)
#include "tst_modTree.moc"