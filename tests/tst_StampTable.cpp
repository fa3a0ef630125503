// The table of earlier runs' files: what a file was last seen as, whatever
// order the runs' records are read in.
#include "algorithms/StampTable.h"

#include <QTest>

using namespace velmora;

namespace {

struct Put
{
    std::uint64_t device;
    std::uint64_t inode;
    std::int64_t modifiedNs;
    std::uint16_t tag;
};

FileStamp stampAt(std::int64_t modifiedNs)
{
    return FileStamp{4096, modifiedNs};
}

} // namespace

Q_DECLARE_METATYPE(Put)
Q_DECLARE_METATYPE(QList<Put>)

class tst_StampTable : public QObject
{
    Q_OBJECT

private slots:
    void aFileIsFoundOnlyAsItWasLastSeen_data();
    void aFileIsFoundOnlyAsItWasLastSeen();
    void everyFileSurvivesTheTableGrowing();
};

void tst_StampTable::aFileIsFoundOnlyAsItWasLastSeen_data()
{
    QTest::addColumn<QList<Put>>("puts");
    QTest::addColumn<Put>("asked"); // tag: the one expected, 0xFFFF for none
    const Put late{1, 7, 2000, 4};
    const Put early{1, 7, 1000, 2};
    QTest::newRow("seen once") << QList<Put>{early} << early;
    QTest::newRow("a later run read after") << QList<Put>{early, late} << late;
    QTest::newRow("a later run read first") << QList<Put>{late, early} << late;
    QTest::newRow("as an earlier run left it")
        << QList<Put>{late, early} << Put{1, 7, 1000, 0xFFFF};
    QTest::newRow("written since") << QList<Put>{early} << Put{1, 7, 1001, 0xFFFF};
    QTest::newRow("another device") << QList<Put>{early} << Put{2, 7, 1000, 0xFFFF};
    QTest::newRow("another file") << QList<Put>{early} << Put{1, 8, 1000, 0xFFFF};
    QTest::newRow("nothing put") << QList<Put>{} << Put{1, 7, 1000, 0xFFFF};
}

void tst_StampTable::aFileIsFoundOnlyAsItWasLastSeen()
{
    QFETCH(QList<Put>, puts);
    QFETCH(Put, asked);
    StampTable table;
    for (const Put &put : puts) {
        table.putUnlessLater(FileId{put.device, put.inode}, stampAt(put.modifiedNs), put.tag);
    }
    const std::optional<std::uint16_t> found =
        table.tag(FileId{asked.device, asked.inode}, stampAt(asked.modifiedNs));
    QCOMPARE(found.value_or(0xFFFF), asked.tag);
    QCOMPARE(table.tag(FileId{asked.device, asked.inode}, FileStamp{4097, asked.modifiedNs}),
             std::nullopt); // another length
}

void tst_StampTable::everyFileSurvivesTheTableGrowing()
{
    StampTable table;
    constexpr std::uint64_t Files = 5000;
    for (std::uint64_t inode = 0; inode < Files; ++inode) {
        table.putUnlessLater(FileId{9, inode}, stampAt(std::int64_t(inode)),
                             std::uint16_t(inode % 7));
    }
    for (std::uint64_t inode = 0; inode < Files; ++inode) {
        QCOMPARE(table.tag(FileId{9, inode}, stampAt(std::int64_t(inode))),
                 std::optional<std::uint16_t>(std::uint16_t(inode % 7)));
    }
}

QTEST_GUILESS_MAIN(tst_StampTable)
#include "tst_StampTable.moc"
