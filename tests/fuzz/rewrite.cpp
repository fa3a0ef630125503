#include "FuzzTargets.h"

#include "convert/Module1.h"
#include "support/Cl2Fixture.h"

#include <QTemporaryDir>

namespace velmora::fuzz {

namespace {

struct Outcome
{
    bool ok;
    QByteArray bytes;
};

// Writes image to path, runs the conversion on it and reads back the result.
Outcome convert(const QString &path, const QByteArray &image, const ConversionOptions &options)
{
    check(test::writeFile(path, image), "the scratch file can be written");
    StringMessageLog log;
    const bool ok = ReorderDirections(path, log, options);
    const QString start = (ok ? QLatin1String("SUCCESS: File (") : QLatin1String("ERROR: File (")) +
                          path + QLatin1String(") ");
    check(log.lines().size() == 1 && log.lines().first().startsWith(start),
          "one log line names the file and says SUCCESS exactly when it succeeded");
    return {ok, test::readFile(path)};
}

} // namespace

// The input is the whole file. Which files are refused, and why, the unit
// tests tell case by case; here, that a run keeps its promises on any file.
int rewrite(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    check(dir.isValid(), "a scratch folder can be made");
    const QString path = dir.filePath(QStringLiteral("a (1).cl2"));
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));

    const Outcome dry = convert(path, image, {.undo = false, .dryRun = true});
    check(dry.bytes == image, "a dry run writes nothing");
    const Outcome converted = convert(path, image, {});
    check(converted.ok == dry.ok, "a dry run gives the verdict of the real run");
    check(converted.ok || converted.bytes == image, "a refused file is unchanged");
    if (converted.ok) {
        const int order[8] = {0, 3, 5, 7, 1, 2, 4, 6};
        for (int j = 0; j < 8; ++j) {
            check(test::int32At(converted.bytes, 4 * j) == test::int32At(image, 4 * order[j]),
                  "header slot j leads to the group slot 0, 3, 5, 7, 1, 2, 4, 6 led to");
        }
        const Outcome back = convert(path, converted.bytes, {.undo = true});
        check(back.ok && back.bytes == image, "undo after convert restores the original bytes");
    }
    const Outcome undone = convert(path, image, {.undo = true});
    check(undone.ok || undone.bytes == image, "a file refused by undo is unchanged");
    if (undone.ok) {
        const Outcome again = convert(path, undone.bytes, {});
        check(again.ok && again.bytes == image, "convert after undo restores the original bytes");
    }
    return 0;
}

} // namespace velmora::fuzz
