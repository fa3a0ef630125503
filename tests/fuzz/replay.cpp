#include "FuzzTargets.h"

#include <QDir>
#include <QFile>

// Feeds every file of each target's seed corpus (CORPUS/<target>/) to the
// target, as the fuzzer would: the corpus then guards every test run.
int main(int argc, char **argv)
{
    using namespace velmora::fuzz;
    check(argc == 2, "usage: fuzz_replay CORPUS");
    using Target = int (*)(const std::uint8_t *, std::size_t);
    for (const auto &[name, run] : {std::pair<const char *, Target>{"rewrite", rewrite},
                                    {"masks", masks},
                                    {"replace", replace}}) {
        const QDir dir(QFile::decodeName(argv[1]) + u'/' + QLatin1String(name));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        check(!files.isEmpty(), "every target has a seed corpus");
        for (const QString &file : files) {
            QFile input(dir.filePath(file));
            check(input.open(QIODevice::ReadOnly), "a corpus file can be read");
            const QByteArray bytes = input.readAll();
            run(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                std::size_t(bytes.size()));
        }
        std::printf("%s: %lld inputs\n", name, static_cast<long long>(files.size()));
    }
    return 0;
}
