#include "platform/WildcardPattern.h"
#include "search/modTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

// Creates every entry under root: a path ending in '/' is a folder, anything
// else an empty file (its folders made as needed).
void makeTree(const QString &root, const QStringList &entries)
{
    QDir dir(root);
    for (const QString &entry : entries) {
        if (entry.endsWith(u'/')) {
            QVERIFY(dir.mkpath(entry));
            continue;
        }
        const QString path = root + u'/' + entry;
        QVERIFY(dir.mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    }
}

QStringList prefixed(const QString &root, const QStringList &relative)
{
    QStringList paths;
    for (const QString &entry : relative) {
        paths.append(root + entry);
    }
    return paths;
}

const QStringList noMatch{QString()};

// A chain of folders below root, each named with 200 'd's, deep enough that
// the full path of the lowest ones is longer than the system accepts, so they
// cannot be listed even by root. Built and removed through descriptors, as no
// path call reaches that deep. Each folder holds a file "level<N>.cl2".
class TooDeepChain
{
public:
    TooDeepChain(const QString &root, int depth) : m_name(200, 'd')
    {
        int parent = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
        m_fds.push_back(parent);
        for (int level = 1; level <= depth && parent >= 0; ++level) {
            if (::mkdirat(parent, m_name.constData(), 0700) != 0) {
                return;
            }
            parent = ::openat(parent, m_name.constData(), O_RDONLY | O_DIRECTORY);
            m_fds.push_back(parent);
            const QByteArray file = "level" + QByteArray::number(level) + ".cl2";
            const int fd = ::openat(parent, file.constData(), O_WRONLY | O_CREAT, 0600);
            if (fd >= 0) {
                ::close(fd);
                m_files.push_back(file);
            }
        }
    }
    ~TooDeepChain()
    {
        for (std::size_t i = m_fds.size(); i-- > 1;) {
            if (i - 1 < m_files.size()) {
                ::unlinkat(m_fds[i], m_files[i - 1].constData(), 0);
            }
            ::close(m_fds[i]);
            ::unlinkat(m_fds[i - 1], m_name.constData(), AT_REMOVEDIR);
        }
        if (!m_fds.empty()) {
            ::close(m_fds.front());
        }
    }
    bool built(int depth) const { return int(m_files.size()) == depth && m_fds.back() >= 0; }
    // Path of the folder at level, relative to root, starting with '/'.
    QString folder(int level) const
    {
        QString path;
        for (int i = 0; i < level; ++i) {
            path += u'/' + QString::fromLatin1(m_name);
        }
        return path;
    }

private:
    QByteArray m_name;
    std::vector<int> m_fds;
    std::vector<QByteArray> m_files;
};

} // namespace

class TestModTree : public QObject
{
    Q_OBJECT

private slots:
    void parseMaskList_data();
    void parseMaskList();
    void splitMasks_data();
    void splitMasks();
    void matchMasks_data();
    void matchMasks();
    void wildcard_data();
    void wildcard();
    void malformedMasks_data();
    void malformedMasks();
    void pathologicalPatternsFinish_data();
    void pathologicalPatternsFinish();

    void findFiles_data();
    void findFiles();
    void startFolderSeparator_data();
    void startFolderSeparator();
    void nonAsciiNames();
    void symlinkLoopEndsWithEachFileOnce();
    void linkedFolderListedOnceUnderFirstName();
    void unreadableFolderContributesNothing();
    void vanishedFolderContributesNothing();
    void tooLongFolderPathContributesNothing();
    void rootFolderGetsNoSecondSeparator();
    void malformedMaskListFindsNothing();
};

void TestModTree::parseMaskList_data()
{
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<bool>("addWildcards");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("single mask") << u"*.cl2"_s << true << QStringList{u"*.cl2"_s};
    QTest::newRow("bare word gets stars") << u"cl2"_s << true << QStringList{u"*cl2*"_s};
    QTest::newRow("bare word kept without wildcards") << u"cl2"_s << false << QStringList{u"cl2"_s};
    QTest::newRow("star dot star is star, exclude kept")
        << u"*.* !*.bak"_s << true << QStringList{u"*"_s, u"!*.bak"_s};
    QTest::newRow("exclude of star dot star") << u"!*.*"_s << true << QStringList{u"!*"_s};
    QTest::newRow("comma and space make no empty mask")
        << u"*.cl2, *.cel"_s << true << QStringList{u"*.cl2"_s, u"*.cel"_s};
    QTest::newRow("semicolons") << u"a?;b?"_s << true << QStringList{u"a?"_s, u"b?"_s};
    QTest::newRow("TAB is no separator") << u"*.a\t*.b"_s << true << QStringList{u"*.a\t*.b"_s};
    QTest::newRow("outer spaces trimmed") << u"   *.cl2  "_s << true << QStringList{u"*.cl2"_s};
    QTest::newRow("lone bang dropped") << u"*.cl2 !"_s << true << QStringList{u"*.cl2"_s};
    QTest::newRow("bare exclude gets stars") << u"!cl2"_s << true << QStringList{u"!*cl2*"_s};
    QTest::newRow("empty list") << QString() << true << QStringList{};
    QTest::newRow("only separators") << u" , ;;"_s << true << QStringList{};

    QString longList;
    QStringList longMasks;
    const QString separators = u", ; "_s;
    for (int i = 0; longList.size() < 130000; ++i) {
        const QString mask = u"f%1"_s.arg(i, 5, 10, QChar(u'0'));
        longList += mask + separators.at(i % 4);
        longMasks.append(u'*' + mask + u'*');
    }
    QTest::newRow("130,000 characters") << longList << true << longMasks;
}

void TestModTree::parseMaskList()
{
    QFETCH(QString, maskList);
    QFETCH(bool, addWildcards);
    QFETCH(QStringList, expected);
    QCOMPARE(ParseMaskList(maskList, addWildcards), expected);
}

void TestModTree::splitMasks_data()
{
    QTest::addColumn<QStringList>("masks");
    QTest::addColumn<QStringList>("include");
    QTest::addColumn<QStringList>("exclude");
    QTest::addColumn<bool>("hasInclude");
    QTest::addColumn<bool>("hasExclude");

    QTest::newRow("include and exclude") << QStringList{u"*"_s, u"!*.bak"_s} << QStringList{u"*"_s}
                                         << QStringList{u"*.bak"_s} << true << true;
    QTest::newRow("lone bang dropped")
        << QStringList{u"!"_s} << QStringList{} << QStringList{} << false << false;
    QTest::newRow("blank dropped, spaces trimmed")
        << QStringList{u"  "_s, u" a* "_s} << QStringList{u"a*"_s} << QStringList{} << true
        << false;
    QTest::newRow("only excludes") << QStringList{u"!*.bak"_s, u"!*.tmp"_s} << QStringList{}
                                   << QStringList{u"*.bak"_s, u"*.tmp"_s} << false << true;
    QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{} << false << false;
}

void TestModTree::splitMasks()
{
    QFETCH(QStringList, masks);
    QFETCH(QStringList, include);
    QFETCH(QStringList, exclude);
    QFETCH(bool, hasInclude);
    QFETCH(bool, hasExclude);

    QStringList includeMasks{u"stale"_s};
    QStringList excludeMasks{u"stale"_s};
    bool gotInclude = !hasInclude;
    bool gotExclude = !hasExclude;
    SplitMasks(masks, includeMasks, excludeMasks, gotInclude, gotExclude);
    QCOMPARE(includeMasks, include);
    QCOMPARE(excludeMasks, exclude);
    QCOMPARE(gotInclude, hasInclude);
    QCOMPARE(gotExclude, hasExclude);
}

void TestModTree::matchMasks_data()
{
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("bare word matches inside") << u"cl2"_s << u"tree.cl2x"_s << true;
    QTest::newRow("star mask is anchored at the end") << u"*.cl2"_s << u"tree.cl2x"_s << false;
    QTest::newRow("case ignored") << u"*.cl2"_s << u"HERO.CL2"_s << true;
    QTest::newRow("later extension") << u"*.cl2"_s << u"hero.cl2.bak"_s << false;
    QTest::newRow("all but .bak: .bak") << u"*.* !*.bak"_s << u"x.bak"_s << false;
    QTest::newRow("all but .bak: other") << u"*.* !*.bak"_s << u"x"_s << true;
    QTest::newRow("comma space does not pass everything")
        << u"*.cl2, *.cel"_s << u"readme.txt"_s << false;
    QTest::newRow("comma space second mask") << u"*.cl2, *.cel"_s << u"a.CEL"_s << true;
    QTest::newRow("only excludes pass the rest") << u"!*.bak"_s << u"x.txt"_s << true;
    QTest::newRow("only excludes reject theirs") << u"!*.bak"_s << u"x.bak"_s << false;
    QTest::newRow("lone bang rejects nothing") << u"*.cl2 !"_s << u"a.cl2"_s << true;
    QTest::newRow("lone bang adds nothing") << u"*.cl2 !"_s << u"a.txt"_s << false;
    QTest::newRow("exclude wins") << u"*.cl2 !a*"_s << u"abc.cl2"_s << false;
    QTest::newRow("non-ASCII case") << u"ÄRGER*"_s << u"ärger.cl2"_s << true;
}

void TestModTree::matchMasks()
{
    QFETCH(QString, maskList);
    QFETCH(QString, name);
    QFETCH(bool, expected);

    MaskSet masks;
    QString error;
    QVERIFY(PrepareMasks(maskList, masks, &error));
    QCOMPARE(MatchMasks(name, masks), expected);
    const QByteArray bytes = name.toUtf8();
    bool ascii = true;
    for (const char c : bytes) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        QCOMPARE(MatchMasksAscii(std::string_view(bytes.constData(), bytes.size()), masks),
                 expected);
    }
}

void TestModTree::wildcard_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("? one") << u"a?c"_s << u"abc"_s << true;
    QTest::newRow("? not none") << u"a?c"_s << u"ac"_s << false;
    QTest::newRow("? not two") << u"a?c"_s << u"abbc"_s << false;
    QTest::newRow("* none") << u"a*c"_s << u"ac"_s << true;
    QTest::newRow("* many") << u"a*c"_s << u"axyzc"_s << true;
    QTest::newRow("* then tail must end") << u"a*c"_s << u"axyzcd"_s << false;
    QTest::newRow("* alone, empty name") << u"*"_s << QString() << true;
    QTest::newRow("** same as *") << u"**x"_s << u"abx"_s << true;
    QTest::newRow("# digit") << u"f#.cl2"_s << u"f7.cl2"_s << true;
    QTest::newRow("# not letter") << u"f#.cl2"_s << u"fx.cl2"_s << false;
    QTest::newRow("list in") << u"[abc]x"_s << u"bx"_s << true;
    QTest::newRow("list out") << u"[abc]x"_s << u"dx"_s << false;
    QTest::newRow("range ignores case") << u"[a-c]x"_s << u"BX"_s << true;
    QTest::newRow("upper range takes lower") << u"[A-C]x"_s << u"bx"_s << true;
    QTest::newRow("negated range in") << u"[!a-c]x"_s << u"dx"_s << true;
    QTest::newRow("negated range ignores case") << u"[!a-c]x"_s << u"Bx"_s << false;
    QTest::newRow("dash first is literal") << u"[-a]"_s << u"-"_s << true;
    QTest::newRow("dash last is literal") << u"[a-]"_s << u"-"_s << true;
    QTest::newRow("[!] any one") << u"[!]"_s << u"q"_s << true;
    QTest::newRow("bracket inside list") << u"[[]x"_s << u"[x"_s << true;
    QTest::newRow("closing bracket outside") << u"a]"_s << u"a]"_s << true;
    QTest::newRow("literal ignores case") << u"ABC"_s << u"abc"_s << true;
    QTest::newRow("whole name: longer") << u"abc"_s << u"abcd"_s << false;
    QTest::newRow("whole name: suffix") << u"bc"_s << u"abc"_s << false;
    QTest::newRow("stars in order") << u"*a*b*c*"_s << u"xaybzc"_s << true;
    QTest::newRow("stars out of order") << u"*a*b*c*"_s << u"cba"_s << false;
    QTest::newRow("star then repeat") << u"*ab"_s << u"aab"_s << true;
    QTest::newRow("head and tail overlap") << u"a*a"_s << u"a"_s << false;
    QTest::newRow("segments need room") << u"*aa*aa"_s << u"aaa"_s << false;
    QTest::newRow("segments just fit") << u"*aa*aa"_s << u"aaaa"_s << true;
    QTest::newRow("middle segment leftmost") << u"x*ab*b"_s << u"xabab"_s << true;
}

void TestModTree::wildcard()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, expected);

    WildcardPattern compiled;
    QString error;
    QVERIFY2(compiled.compile(pattern, &error), qPrintable(error));
    QCOMPARE(compiled.matches(name), expected);
    const QByteArray bytes = name.toLatin1();
    QCOMPARE(compiled.matchesAscii(std::string_view(bytes.constData(), bytes.size())), expected);
}

void TestModTree::malformedMasks_data()
{
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unclosed bracket") << u"*.cl2 [abc"_s << u"unclosed"_s;
    QTest::newRow("descending range") << u"*.[z-a]"_s << u"descending"_s;
    QTest::newRow("empty list") << u"*[]*"_s << u"empty"_s;
    QTest::newRow("bad exclude") << u"*.cl2 !*["_s << u"unclosed"_s;
    QTest::newRow("no mask: empty") << QString() << u"holds no mask"_s;
    QTest::newRow("no mask: lone bang") << u"!"_s << u"holds no mask"_s;
    QTest::newRow("no mask: comma") << u","_s << u"holds no mask"_s;
    QTest::newRow("no mask: spaces") << u"   "_s << u"holds no mask"_s;
    QTest::newRow("no mask: bangs and separators") << u"! ;!, !"_s << u"holds no mask"_s;
}

void TestModTree::malformedMasks()
{
    QFETCH(QString, maskList);
    QFETCH(QString, reason);

    MaskSet masks;
    QString error;
    QVERIFY(!PrepareMasks(maskList, masks, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!masks.hasInclude && !masks.hasExclude);
}

void TestModTree::pathologicalPatternsFinish_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QString stars;
    for (int i = 0; i < 30; ++i) {
        stars += u"*a";
    }
    const QString as(5000, u'a');
    QTest::newRow("many stars, missing tail") << (stars + u"*b"_s) << as << false;
    QTest::newRow("many stars, missing middle") << (stars + u"*c*b"_s) << (as + u'b') << false;
    QTest::newRow("many stars, match") << (stars + u"*b"_s) << (as + u'b') << true;
    QTest::newRow("question marks and stars")
        << QString(u"*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?x"_s) << as << false;
}

void TestModTree::pathologicalPatternsFinish()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, expected);

    WildcardPattern compiled;
    QVERIFY(compiled.compile(pattern, nullptr));
    QCOMPARE(compiled.matches(name), expected);
}

void TestModTree::findFiles_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("maskList");
    QTest::addColumn<QStringList>("expected"); // relative to the start folder, or noMatch

    QTest::newRow("start folder first, then level by level")
        << QStringList{u"b.cl2"_s,   u"a.cl2"_s,       u"x.txt"_s,        u"z/d.cl2"_s,
                       u"m/c.cl2"_s, u"m/sub/e.cl2"_s, u"z/sub2/f.cl2"_s, u"m/sub/deep/g.cl2"_s}
        << u"*.cl2"_s
        << QStringList{u"/a.cl2"_s,       u"/b.cl2"_s,        u"/m/c.cl2"_s,         u"/z/d.cl2"_s,
                       u"/m/sub/e.cl2"_s, u"/z/sub2/f.cl2"_s, u"/m/sub/deep/g.cl2"_s};
    QTest::newRow("entries in byte order")
        << QStringList{u"ab.cl2"_s, u"a.cl2"_s, u"_.cl2"_s, u"B.cl2"_s} << u"*.cl2"_s
        << QStringList{u"/B.cl2"_s, u"/_.cl2"_s, u"/a.cl2"_s, u"/ab.cl2"_s};
    QTest::newRow("upper-case extension")
        << QStringList{u"A.CL2"_s, u"sub/Hero.Cl2"_s} << u"*.cl2"_s
        << QStringList{u"/A.CL2"_s, u"/sub/Hero.Cl2"_s};
    QTest::newRow("folder named like a file is entered, not returned")
        << QStringList{u"data.cl2/inner.cl2"_s, u"data.cl2/empty.cl2/"_s} << u"*.cl2"_s
        << QStringList{u"/data.cl2/inner.cl2"_s};
    QTest::newRow("only the name is matched")
        << QStringList{u"cl2stuff/readme.txt"_s, u"cl2stuff/x.cl2"_s} << u"cl2"_s
        << QStringList{u"/cl2stuff/x.cl2"_s};
    QTest::newRow("empty tree") << QStringList{} << u"*.cl2"_s << noMatch;
    QTest::newRow("folders only") << QStringList{u"a/b/c/"_s, u"d/"_s} << u"*.cl2"_s << noMatch;
    QTest::newRow("no name matches")
        << QStringList{u"a.txt"_s, u"sub/b.cl2x"_s} << u"*.cl2"_s << noMatch;
    QTest::newRow("exclude mask") << QStringList{u"a.cl2"_s, u"b.bak"_s, u"s/c.txt"_s}
                                  << u"*.* !*.bak"_s << QStringList{u"/a.cl2"_s, u"/s/c.txt"_s};

    QStringList many;
    QStringList manyFound;
    for (int i = 0; i < 101; ++i) {
        const QString name = u"f%1.cl2"_s.arg(i, 3, 10, QChar(u'0'));
        many.append(name);
        manyFound.append(u'/' + name);
    }
    QTest::newRow("101 files in one folder") << many << u"*.cl2"_s << manyFound;
}

void TestModTree::findFiles()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, maskList);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), tree);
    const QStringList wanted = expected == noMatch ? noMatch : prefixed(dir.path(), expected);
    QString error = u"stale"_s;
    QCOMPARE(FindFiles(dir.path(), maskList, &error), wanted);
    QVERIFY(error.isEmpty());
}

void TestModTree::startFolderSeparator_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("without trailing /") << QString();
    QTest::newRow("with trailing /") << u"/"_s;
}

void TestModTree::startFolderSeparator()
{
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"a.cl2"_s, u"s/b.cl2"_s});
    QCOMPARE(FindFiles(dir.path() + suffix, u"*.cl2"_s),
             prefixed(dir.path(), {u"/a.cl2"_s, u"/s/b.cl2"_s}));
}

void TestModTree::nonAsciiNames()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"Über.CL2"_s, u"ordner/ärger.cl2"_s, u"ordner/straße.txt"_s});
    QCOMPARE(FindFiles(dir.path(), u"*.cl2"_s),
             prefixed(dir.path(), {u"/Über.CL2"_s, u"/ordner/ärger.cl2"_s}));
    QCOMPARE(FindFiles(dir.path(), u"ü*"_s), prefixed(dir.path(), {u"/Über.CL2"_s}));
    // The paths handed back open the files they name.
    QVERIFY(QFile::exists(FindFiles(dir.path(), u"ä*"_s).value(0)));
}

void TestModTree::symlinkLoopEndsWithEachFileOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"a.cl2"_s, u"sub/b.cl2"_s});
    QVERIFY(QFile::link(dir.path(), dir.path() + u"/sub/up"_s));
    QVERIFY(QFile::link(dir.path() + u"/sub"_s, dir.path() + u"/sub/self"_s));
    QCOMPARE(FindFiles(dir.path(), u"*.cl2"_s),
             prefixed(dir.path(), {u"/a.cl2"_s, u"/sub/b.cl2"_s}));
}

void TestModTree::linkedFolderListedOnceUnderFirstName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"real/x.cl2"_s, u"target.dat"_s});
    // "alias" sorts before "real", so the folder is listed under that name.
    QVERIFY(QFile::link(dir.path() + u"/real"_s, dir.path() + u"/alias"_s));
    // A link to a file whose name matches is returned like a file.
    QVERIFY(QFile::link(dir.path() + u"/target.dat"_s, dir.path() + u"/link.cl2"_s));
    // A dangling link and a pipe are no files to convert: they are passed over.
    QVERIFY(QFile::link(dir.path() + u"/missing"_s, dir.path() + u"/broken.cl2"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.path() + u"/pipe.cl2"_s).constData(), 0600), 0);
    // A hard link is one more name of the same file.
    QCOMPARE(::link(QFile::encodeName(dir.path() + u"/real/x.cl2"_s).constData(),
                    QFile::encodeName(dir.path() + u"/hard.cl2"_s).constData()),
             0);

    const QStringList expected =
        prefixed(dir.path(), {u"/hard.cl2"_s, u"/link.cl2"_s, u"/alias/x.cl2"_s});
    QCOMPARE(FindFiles(dir.path(), u"*.cl2"_s), expected);
    // The compact list holds the same paths, the system's spelling of each, and
    // the identity of the file each reaches.
    const FoundFileList found = FindFileList(dir.path(), u"*.cl2"_s);
    QCOMPARE(found.size(), 3);
    QByteArray encoded;
    for (qsizetype i = 0; i < found.size(); ++i) {
        QCOMPARE(found.path(i), expected[i]);
        found.encodedPath(i, encoded);
        QCOMPARE(encoded, QFile::encodeName(expected[i]));
    }
    QCOMPARE(found.id(0), found.id(2));
    QVERIFY(found.id(1) != found.id(0));
    struct stat target;
    QCOMPARE(::stat(QFile::encodeName(dir.path() + u"/target.dat"_s).constData(), &target), 0);
    QCOMPARE(found.id(1).inode, std::uint64_t(target.st_ino));
}

void TestModTree::unreadableFolderContributesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"a/locked/hidden.cl2"_s, u"a/locked/deeper/more.cl2"_s, u"b/open.cl2"_s,
                          u"top.cl2"_s});
    const QByteArray locked = QFile::encodeName(dir.path() + u"/a/locked"_s);
    QCOMPARE(::chmod(locked.constData(), 0), 0);
    auto restore = qScopeGuard([&] { ::chmod(locked.constData(), 0700); });
    if (::access(locked.constData(), R_OK) == 0) {
        QSKIP("this user can read a folder with no permissions (root)");
    }
    QCOMPARE(FindFiles(dir.path(), u"*.cl2"_s),
             prefixed(dir.path(), {u"/top.cl2"_s, u"/b/open.cl2"_s}));
}

void TestModTree::vanishedFolderContributesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"a/x.cl2"_s, u"b/y.cl2"_s, u"top.cl2"_s});
    MaskSet masks;
    QVERIFY(PrepareMasks(u"*.cl2"_s, masks, nullptr));
    DirectoryListing listing;
    QList<QByteArray> pending{QFile::encodeName(dir.path())};
    FoundFileList found;
    QCOMPARE(ScanDirectory(0, masks, pending, found, listing), 1);
    QCOMPARE(pending.mid(1), (QList<QByteArray>{QFile::encodeName(dir.path() + u"/a"_s),
                                                QFile::encodeName(dir.path() + u"/b"_s)}));
    // "a" disappears between being found and being listed.
    QVERIFY(QDir(dir.path() + u"/a"_s).removeRecursively());
    QCOMPARE(ScanDirectory(1, masks, pending, found, listing), 2);
    QCOMPARE(ScanDirectory(2, masks, pending, found, listing), 3);
    QCOMPARE(ScanDirectory(3, masks, pending, found, listing), 3);
    QCOMPARE(found.size(), 2);
    QCOMPARE(QStringList({found.path(0), found.path(1)}),
             prefixed(dir.path(), {u"/top.cl2"_s, u"/b/y.cl2"_s}));
    // The user hears of the folder whose files were missed.
    QCOMPARE(found.unlisted().size(), std::size_t(1));
    QCOMPARE(found.unlisted().front().path, dir.path() + u"/a"_s);
    QCOMPARE(found.unlisted().front().reason, u"No such file or directory"_s);

    QCOMPARE(FindFiles(dir.path() + u"/gone"_s, u"*.cl2"_s), noMatch);
    QCOMPARE(FindFiles(QString(), u"*.cl2"_s), noMatch);
    QCOMPARE(FindFiles(dir.path() + u"/top.cl2"_s, u"*.cl2"_s), noMatch);
}

void TestModTree::tooLongFolderPathContributesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"top.cl2"_s, u"z/last.cl2"_s});
    const int depth = 24;
    const TooDeepChain chain(dir.path(), depth);
    QVERIFY(chain.built(depth));
    const FoundFileList found = FindFileList(dir.path(), u"*.cl2"_s);
    // Folders whose path is longer than the system takes in one call are
    // listed too, in breadth-first order.
    QCOMPARE(found.size(), depth + 2);
    QVERIFY(found.unlisted().empty());
    QCOMPARE(found.path(0), dir.path() + u"/top.cl2"_s);
    QCOMPARE(found.path(1), dir.path() + chain.folder(1) + u"/level1.cl2"_s);
    QCOMPARE(found.path(2), dir.path() + u"/z/last.cl2"_s);
    QCOMPARE(found.path(depth + 1),
             dir.path() + chain.folder(depth) + u"/level%1.cl2"_s.arg(depth));
    QVERIFY(QFile::encodeName(found.path(depth + 1)).size() > 4096);
}

void TestModTree::rootFolderGetsNoSecondSeparator()
{
    // Lists only "/" itself; its subfolders are queued, not entered.
    MaskSet masks;
    QVERIFY(PrepareMasks(u"*.cl2"_s, masks, nullptr));
    DirectoryListing listing;
    QList<QByteArray> pending{"/"};
    FoundFileList found;
    QCOMPARE(ScanDirectory(0, masks, pending, found, listing), 1);
    QVERIFY(pending.size() > 1);
    QVERIFY(pending.contains("/tmp") || pending.contains("/usr"));
    for (const QByteArray &path : pending.mid(1)) {
        QVERIFY2(path.startsWith('/') && !path.startsWith("//"), path.constData());
    }
}

void TestModTree::malformedMaskListFindsNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    makeTree(dir.path(), {u"a.cl2"_s});
    QString error;
    QCOMPARE(FindFiles(dir.path(), u"*.cl2 [z-a]"_s, &error), noMatch);
    QVERIFY2(error.contains(u"[z-a]"_s), qPrintable(error));
    QCOMPARE(FindFiles(dir.path(), u"*.cl2"_s, &error), prefixed(dir.path(), {u"/a.cl2"_s}));
    QVERIFY(error.isEmpty());
}

QTEST_GUILESS_MAIN(TestModTree)
#include "tst_modTree.moc"
