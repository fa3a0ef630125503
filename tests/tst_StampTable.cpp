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
    std::int64_t earlierByNs = 0; // a stamp known to a span, as the clock gives it
};

} // namespace

Q_DECLARE_METATYPE(Put)
Q_DECLARE_METATYPE(QList<Put>)

class tst_StampTable : public QObject
{
    Q_OBJECT

private slots:
    void aFileIsFoundOnlyAsItWasLastSeen_data()
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
        const Put spanned{1, 7, 9000000, 5, 3000};
        QTest::newRow("inside a span") << QList<Put>{spanned} << Put{1, 7, 8998500, 5};
        QTest::newRow("a span's first time") << QList<Put>{spanned} << Put{1, 7, 8997000, 5};
        QTest::newRow("a span's last time") << QList<Put>{spanned} << Put{1, 7, 9000000, 5};
        QTest::newRow("before a span") << QList<Put>{spanned} << Put{1, 7, 8996999, 0xFFFF};
        QTest::newRow("after a span") << QList<Put>{spanned} << Put{1, 7, 9000001, 0xFFFF};
    }

    void aFileIsFoundOnlyAsItWasLastSeen()
    {
        QFETCH(QList<Put>, puts);
        QFETCH(Put, asked);
        StampTable table;
        for (const Put &put : puts) {
            table.putUnlessLater({put.device, put.inode}, {4096, put.modifiedNs, put.earlierByNs},
                                 put.tag);
        }
        const FileId id{asked.device, asked.inode};
        QCOMPARE(table.tag(id, {4096, asked.modifiedNs}).value_or(0xFFFF), asked.tag);
        QCOMPARE(table.tag(id, {4097, asked.modifiedNs}), std::nullopt); // another length
    }

    void everyFileSurvivesTheTableGrowing()
    {
        StampTable table;
        for (std::uint64_t inode = 0; inode < 5000; ++inode) {
            table.putUnlessLater({9, inode}, {4096, std::int64_t(inode)}, std::uint16_t(inode % 7));
        }
        for (std::uint64_t inode = 0; inode < 5000; ++inode) {
            QCOMPARE(table.tag({9, inode}, {4096, std::int64_t(inode)}),
                     std::optional<std::uint16_t>(inode % 7));
        }
    }
};

QTEST_GUILESS_MAIN(tst_StampTable)
#include "tst_StampTable.moc"
