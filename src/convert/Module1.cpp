#include "convert/Module1.h"

#include "convert/DirectionTables.h"
#include "search/modTree.h"

namespace velmora {

namespace {

QString fileLine(const char *status, const QString &path, const QString &what)
{
    return QLatin1String(status) + QLatin1String("File (") + path + QLatin1String(") ") + what;
}

QString successText(const ConversionOptions &options)
{
    if (options.undo) {
        return options.dryRun ? QStringLiteral("directions would be restored")
                              : QStringLiteral("directions were restored");
    }
    return options.dryRun ? QStringLiteral("directions would be realigned")
                          : QStringLiteral("directions were realigned");
}

// Where a file comes from: named by a caller, or just found by a folder search
// that already knows it is a regular file and which file it is.
struct Source
{
    const QString &path;
    const FileId *listedId = nullptr;
};

// Opens, validates and (unless a dry run) rewrites one file; an empty result
// means success, anything else is what to say after "File (path) ".
QString convertFile(const Source &source, const ConversionOptions &options, ConvertedFiles *batch,
                    DirectionTables &tables)
{
    BinaryFile file;
    QString error;
    const bool opened = source.listedId ? file.openListed(source.path, *source.listedId, &error)
                                        : file.open(source.path, &error);
    if (!opened) {
        return QStringLiteral("could not be opened: ") + error;
    }
    if (batch && batch->contains(file.id())) {
        return QStringLiteral("was already converted in this run");
    }
    const DirectionSwap swap = options.undo ? DirectionSwap::Undo : DirectionSwap::Forward;
    if (const QString problem = tables.load(file, swap); !problem.isEmpty()) {
        return problem;
    }
    if (!options.dryRun) {
        if (const QString problem = tables.store(file); !problem.isEmpty()) {
            return problem;
        }
    }
    if (!file.close(&error)) {
        return QStringLiteral("could not be closed after writing: ") + error;
    }
    if (batch) {
        batch->insert(file.id());
    }
    return {};
}

bool reorderAndLog(const Source &source, MessageLog &log, const ConversionOptions &options,
                   ConvertedFiles *batch, DirectionTables &tables)
{
    const QString problem = convertFile(source, options, batch, tables);
    const bool ok = problem.isEmpty();
    log.AppendLine(ok ? fileLine("SUCCESS: ", source.path, successText(options))
                      : fileLine("ERROR: ", source.path, problem));
    log.Repaint();
    return ok;
}

} // namespace

bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options,
                       ConvertedFiles *batch)
{
    DirectionTables tables;
    return reorderAndLog(Source{path}, log, options, batch, tables);
}

BatchResult ScanFolder(const QString &folder, MessageLog &log, const ScanOptions &options)
{
    // The default mask keeps its historic wording; any other mask is named.
    const bool defaultMask = options.maskList == QLatin1String("*.cl2");
    const QString where =
        QLatin1String(" were found on (") + folder + QLatin1String(") and subfolders");
    QString maskError;
    std::vector<FileId> ids;
    const QStringList paths = FindFiles(folder, options.maskList, &maskError, &ids);
    if (!maskError.isEmpty()) {
        log.AppendLine(QLatin1String("ERROR: The mask list (") + options.maskList +
                       QLatin1String(") is not valid: ") + maskError);
        return {0, 1};
    }
    // The search reports "nothing found" as a list of one empty path.
    if (paths.size() == 1 && paths.front().isEmpty()) {
        const QString what = defaultMask
                                 ? QStringLiteral("No *.cl2 files")
                                 : QLatin1String("No files matching (") + options.maskList + u')';
        log.AppendLine(QLatin1String("ERROR: ") + what + where);
        return {0, 1};
    }
    const qsizetype total = paths.size();
    const QString what = defaultMask ? QStringLiteral(" files")
                                     : QLatin1String(" files matching (") + options.maskList + u')';
    log.AppendLine(QLatin1String("SUCCESS: (") + QString::number(total) + u')' + what + where);

    BatchResult result{total, 0};
    ConvertedFiles converted;
    converted.reserve(static_cast<std::size_t>(total));
    DirectionTables tables;
    for (qsizetype i = 0; i < total; ++i) {
        const Source source{paths[i], &ids[static_cast<std::size_t>(i)]};
        if (!reorderAndLog(source, log, options.conversion, &converted, tables)) {
            ++result.failed;
        }
        if (options.progress) {
            options.progress(i + 1, total);
        }
    }
    return result;
}

bool FileExists(const QString &path)
{
    return fileLength(path) >= 0;
}

} // namespace velmora
