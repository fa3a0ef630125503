// The ordered work of a batch whose items wait for the disk: threads come in,
// the slots grow with them, and every item is still finished once, in order,
// with what its own work left in its slot.
#include "algorithms/OrderedWork.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <mutex>
#include <numeric>
#include <set>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype PageBytes = 4096;

struct Item
{
    qsizetype index = -1; // the item whose work filled the slot; -1: free
};

// A file of `pages` pages written to the disk and dropped from memory, so that
// reading a page of it waits for the disk. Empty when the file system keeps it
// in memory all the same.
QString fileOnDisk(const QTemporaryDir &dir, qsizetype pages)
{
    const QString path = dir.filePath(u"pages"_s);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0600);
    const std::vector<char> page(PageBytes, 'p');
    bool ok = fd >= 0;
    for (qsizetype i = 0; ok && i < pages; ++i) {
        ok = ::write(fd, page.data(), page.size()) == PageBytes;
    }
    ok = ok && ::fsync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    void *map = ok ? ::mmap(nullptr, std::size_t(pages * PageBytes), PROT_READ, MAP_SHARED, fd, 0)
                   : MAP_FAILED;
    std::vector<unsigned char> resident(std::size_t(pages), 1);
    ok = map != MAP_FAILED && ::mincore(map, std::size_t(pages * PageBytes), resident.data()) == 0;
    if (map != MAP_FAILED) {
        ::munmap(map, std::size_t(pages * PageBytes));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    const bool dropped =
        std::ranges::none_of(resident, [](unsigned char page) { return page & 1; });
    return ok && dropped ? path : QString();
}

} // namespace

class tst_OrderedWork : public QObject
{
    Q_OBJECT

private slots:
    void waitsForTheDiskBringThreadsAndSlots_data();
    void waitsForTheDiskBringThreadsAndSlots();
};

void tst_OrderedWork::waitsForTheDiskBringThreadsAndSlots_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("stopAt"); // finished items before the stop; -1: none
    QTest::newRow("two jobs") << 2 << -1;
    QTest::newRow("eight jobs") << 8 << -1;
    QTest::newRow("thirty-two jobs") << 32 << -1;
    QTest::newRow("eight jobs, stopped") << 8 << 100;
}

// With one thread for the cores, only waits for the disk bring more: each
// item reads a page of its own from the disk. No two items in flight share a
// slot, and a slot holds at its finish what the item's work put there.
void tst_OrderedWork::waitsForTheDiskBringThreadsAndSlots()
{
    QFETCH(int, jobs);
    QFETCH(int, stopAt);
    constexpr qsizetype Items = 240;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = fileOnDisk(dir, Items);
    if (path.isEmpty()) {
        QSKIP("the file system here keeps a file in memory after it was dropped");
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QVERIFY(fd >= 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM) == 0);

    OrderedWork<Item> work(jobs, Items, 4);
    work.setCoreThreads(1);
    std::mutex seen;
    std::set<std::thread::id> threads;
    // Items whose slot was still in use when they came, or whose page was short.
    std::vector<qsizetype> shared;
    std::vector<qsizetype> finished;
    std::atomic<qsizetype> opened = 0;
    qsizetype mostInFlight = 0;
    const auto open = [&opened](qsizetype, Item &, int) { ++opened; };
    const auto admit = [](qsizetype, Item &) {};
    const auto read = [&](qsizetype i, Item &slot, int) {
        char page[PageBytes];
        const bool full = ::pread(fd, page, PageBytes, off_t(i * PageBytes)) == PageBytes;
        const std::lock_guard lock(seen);
        threads.insert(std::this_thread::get_id());
        if (slot.index != -1 || !full) {
            shared.push_back(i);
        }
        slot.index = i;
    };
    const auto finish = [&](qsizetype i, Item &slot) {
        mostInFlight = std::max(mostInFlight, opened - qsizetype(finished.size()));
        finished.push_back(slot.index == i ? i : -1);
        slot.index = -1;
    };
    const qsizetype done = work.run(open, admit, read, finish, [&] {
        return stopAt >= 0 && qsizetype(finished.size()) >= stopAt;
    });
    ::close(fd);

    std::vector<qsizetype> inOrder(static_cast<std::size_t>(done));
    std::iota(inOrder.begin(), inOrder.end(), 0);
    QCOMPARE(finished, inOrder);
    QCOMPARE(shared, std::vector<qsizetype>());
    QVERIFY2(stopAt < 0 ? done == Items : done >= stopAt && done < Items,
             qPrintable(QString::number(done)));
    // The calling thread alone would have done it all without the disk, with
    // slots for two chunks of four.
    QVERIFY2(threads.size() > 1, "no thread was brought in for the disk");
    if (jobs >= 8) {
        QVERIFY2(mostInFlight > 8, qPrintable(QString::number(mostInFlight)));
    }
}

QTEST_GUILESS_MAIN(tst_OrderedWork)
#include "tst_OrderedWork.moc"
