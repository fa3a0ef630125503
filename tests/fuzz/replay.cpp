#include "FuzzTargets.h"

#include <QDir>
#include <QFile>

// Feeds every file of each target's seed corpus (CORPUS/<target>/) to the
// target, as the fuzzer would: the corpus then guards every test run.
int main(int argc, char **argv)
{
    using namespace velmora::fuzz;
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_replay CORPUS\n");
        return 2;
    }
    const struct
    {
        const char *name;
        int (*run)(const std::uint8_t *, std::size_t);
    } targets[] = {{"rewrite", rewrite}, {"masks", masks}, {"replace", replace}};
    for (const auto &target : targets) {
        const QDir dir(QFile::decodeName(argv[1]) + u'/' + QLatin1String(target.name));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        check(!files.isEmpty(), "every target has a seed corpus");
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            check(file.open(QIODevice::ReadOnly), "a corpus file can be read");
            const QByteArray input = file.readAll();
            target.run(reinterpret_cast<const std::uint8_t *>(input.constData()),
                       std::size_t(input.size()));
        }
        std::printf("%s: %lld inputs\n", target.name, static_cast<long long>(files.size()));
    }
    return 0;
}
