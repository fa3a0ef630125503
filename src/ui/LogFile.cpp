#include "ui/LogFile.h"

#include "ui/LogView.h"

#include <QSaveFile>

namespace velmora {

bool saveShownLines(const LogView &view, const QString &fileName, QString *why)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    // Written a block at a time: a log of any length costs one block more.
    constexpr qsizetype Block = 1 << 20;
    QByteArray block;
    block.reserve(Block + 4096);
    for (qsizetype i = 0; i < view.lineCount(); ++i) {
        block += view.line(i).toUtf8();
        block += "\r\n";
        if (block.size() >= Block) {
            if (file.write(block) != block.size()) {
                *why = file.errorString();
                return false;
            }
            block.clear();
        }
    }
    if (file.write(block) != block.size() || !file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

} // namespace velmora
