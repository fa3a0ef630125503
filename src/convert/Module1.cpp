#include "convert/Module1.h"

#include "convert/DirectionTables.h"
#include "convert/Journal.h"
#include "search/modTree.h"

#include <algorithm>

namespace velmora {

namespace {

QString successText(const ConversionOptions &options)
{
    if (options.undo) {
        return options.dryRun ? QStringLiteral("directions would be restored")
                              : QStringLiteral("directions were restored");
    }
    return options.dryRun ? QStringLiteral("directions would be realigned")
                          : QStringLiteral("directions were realigned");
}

QString alreadyConverted()
{
    return QStringLiteral("was already converted in this run");
}

// Appends the one line a file gets, then repaints the log. An empty problem
// is a success.
bool logResult(MessageLog &log, const QString &path, const QString &problem,
               const ConversionOptions &options)
{
    const bool ok = problem.isEmpty();
    log.AppendLine(ok ? QLatin1String("SUCCESS: File (") + path + QLatin1String(") ") +
                            successText(options)
                      : QLatin1String("ERROR: File (") + path + QLatin1String(") ") + problem);
    log.Repaint();
    return ok;
}

// Validates the open file and, unless a dry run, rewrites it; returns what is
// wrong, or an empty string.
QString rewrite(BinaryFile &file, const ConversionOptions &options, DirectionTables &tables)
{
    const DirectionSwap swap = options.undo ? DirectionSwap::Undo : DirectionSwap::Forward;
    if (const QString problem = tables.load(file, swap); !problem.isEmpty()) {
        return problem;
    }
    if (!options.dryRun) {
        if (const QString problem =
                storeRecorded(file, file.encodedPath(), tables, swap, options.journal);
            !problem.isEmpty()) {
            return problem;
        }
    }
    QString error;
    if (!file.close(&error)) {
        return QStringLiteral("could not be closed after writing: ") + error;
    }
    return {};
}

QString convertNamedFile(const QString &path, const ConversionOptions &options,
                         ConvertedFiles *batch)
{
    BinaryFile file;
    QString error;
    if (!file.open(path, &error)) {
        return QStringLiteral("could not be opened: ") + error;
    }
    if (batch && batch->contains(file.id())) {
        return alreadyConverted();
    }
    DirectionTables tables;
    const QString problem = rewrite(file, options, tables);
    if (problem.isEmpty() && batch) {
        batch->insert(file.id());
    }
    return problem;
}

// For each found file, the position of the first file in the list that is the
// same file under another name (its own position when there is none).
std::vector<qsizetype> firstNames(const FoundFileList &found)
{
    std::vector<std::pair<FileId, qsizetype>> byId;
    byId.reserve(static_cast<std::size_t>(found.size()));
    for (qsizetype i = 0; i < found.size(); ++i) {
        byId.emplace_back(found.id(i), i);
    }
    std::sort(byId.begin(), byId.end(), [](const auto &a, const auto &b) {
        return std::tie(a.first.device, a.first.inode, a.second) <
               std::tie(b.first.device, b.first.inode, b.second);
    });
    std::vector<qsizetype> first(byId.size());
    for (std::size_t k = 0; k < byId.size(); ++k) {
        const bool sameAsPrevious = k > 0 && byId[k].first == byId[k - 1].first;
        first[static_cast<std::size_t>(byId[k].second)] =
            sameAsPrevious ? first[static_cast<std::size_t>(byId[k - 1].second)] : byId[k].second;
    }
    return first;
}

} // namespace

bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options,
                       ConvertedFiles *batch)
{
    return logResult(log, path, convertNamedFile(path, options, batch), options);
}

BatchResult ScanFolder(const QString &folder, MessageLog &log, const ScanOptions &options)
{
    // The default mask keeps its historic wording; any other mask is named.
    const bool defaultMask = options.maskList == QLatin1String("*.cl2");
    const QString where =
        QLatin1String(" were found on (") + folder + QLatin1String(") and subfolders");
    QString maskError;
    const FoundFileList found = FindFileList(folder, options.maskList, &maskError);
    if (!maskError.isEmpty()) {
        log.AppendLine(QLatin1String("ERROR: The mask list (") + options.maskList +
                       QLatin1String(") is not valid: ") + maskError);
        return {0, 1};
    }
    if (found.isEmpty()) {
        const QString what = defaultMask
                                 ? QStringLiteral("No *.cl2 files")
                                 : QLatin1String("No files matching (") + options.maskList + u')';
        log.AppendLine(QLatin1String("ERROR: ") + what + where);
        return {0, 1};
    }
    const qsizetype total = found.size();
    const QString what = defaultMask ? QStringLiteral(" files")
                                     : QLatin1String(" files matching (") + options.maskList + u')';
    log.AppendLine(QLatin1String("SUCCESS: (") + QString::number(total) + u')' + what + where);

    BatchResult result{total, 0};
    // A file reached under two names (hard or symbolic links) is converted
    // once: converting it again would turn it one step too far.
    const std::vector<qsizetype> first = firstNames(found);
    std::vector<bool> converted(static_cast<std::size_t>(total), false);
    DirectionTables tables;
    QByteArray encodedPath;
    for (qsizetype i = 0; i < total; ++i) {
        const std::size_t original = static_cast<std::size_t>(first[static_cast<std::size_t>(i)]);
        QString problem;
        if (converted[original]) {
            problem = alreadyConverted();
        } else {
            found.encodedPath(i, encodedPath);
            BinaryFile file;
            QString error;
            problem = file.openListed(encodedPath, &error)
                          ? rewrite(file, options.conversion, tables)
                          : QStringLiteral("could not be opened: ") + error;
            converted[original] = problem.isEmpty();
        }
        if (!logResult(log, found.path(i), problem, options.conversion)) {
            ++result.failed;
        }
        if (options.progress && !options.progress(i + 1, total)) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

bool FileExists(const QString &path)
{
    return fileLength(path) >= 0;
}

} // namespace velmora
