#include "FuzzTargets.h"

#include "convert/Module1.h"
#include "support/Cl2Fixture.h"

#include <QTemporaryDir>

#include <limits>
#include <optional>

namespace velmora::fuzz {

namespace {

bool fits(std::int64_t value)
{
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

// What converting image must give: the header slots take groups 0, 3, 5, 7,
// 1, 2, 4, 6 and the groups at slots 0 and 1 trade frame tables, each entry
// rebased to its new group; every other byte stays. Nothing when the file must
// be refused: not an 8-direction file, a table outside the file or over the
// header, another table or another group's start, a negative count, counts
// that differ, or an entry that no longer fits in 32 bits once moved.
std::optional<QByteArray> expectedReorder(const QByteArray &image)
{
    using test::int32At;
    const std::int64_t size = image.size();
    if (size < 36 || int32At(image, 0) != 32) {
        return {};
    }
    const std::int64_t n = int32At(image, 32), g1 = int32At(image, 4);
    const std::int64_t end0 = 36 + 4 * (n + 1), end1 = g1 + 8 + 4 * n;
    if (n < 0 || g1 < end0 || end1 > size || !fits(end1) || int32At(image, g1) != n) {
        return {};
    }
    for (int k = 2; k < 8; ++k) {
        const std::int64_t g = int32At(image, 4 * k);
        if (g < end0 || (g >= g1 && g < end1)) {
            return {};
        }
    }
    QByteArray out = image;
    const int order[8] = {0, 3, 5, 7, 1, 2, 4, 6};
    for (int j = 0; j < 8; ++j) {
        test::setInt32At(out, 4 * j, int32At(image, 4 * order[j]));
    }
    for (std::int64_t i = 0; i <= n; ++i) {
        const std::int64_t to0 = int32At(image, g1 + 4 + 4 * i) + (g1 - 32);
        const std::int64_t to1 = int32At(image, 36 + 4 * i) + (32 - g1);
        if (!fits(to0) || !fits(to1)) {
            return {};
        }
        test::setInt32At(out, 36 + 4 * i, std::int32_t(to0));
        test::setInt32At(out, g1 + 4 + 4 * i, std::int32_t(to1));
    }
    return out;
}

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

// The input is the whole file.
int rewrite(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    check(dir.isValid(), "a scratch folder can be made");
    const QString path = dir.filePath(QStringLiteral("a (1).cl2"));
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QByteArray> expected = expectedReorder(image);

    const Outcome dry = convert(path, image, {.undo = false, .dryRun = true});
    check(dry.bytes == image, "a dry run writes nothing");
    const Outcome converted = convert(path, image, {});
    check(converted.ok == dry.ok, "a dry run gives the verdict of the real run");
    check(converted.ok == expected.has_value(), "exactly the files that can be reordered are");
    check(converted.bytes == (converted.ok ? *expected : image),
          "a converted file is reordered, a refused one unchanged");
    if (converted.ok) {
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
