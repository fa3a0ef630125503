#include "platform/FileNames.h"

#include <QByteArray>
#include <QFile>
#include <QLatin1StringView>

namespace velmora {

bool isAscii(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

void appendName(QString &out, std::string_view name)
{
    const auto length = static_cast<qsizetype>(name.size());
    if (isAscii(name)) {
        out += QLatin1StringView(name.data(), length);
    } else {
        out += QFile::decodeName(QByteArray::fromRawData(name.data(), length));
    }
}

QString joinName(const QString &folder, std::string_view name)
{
    QString path;
    path.reserve(folder.size() + static_cast<qsizetype>(name.size()));
    path += folder;
    appendName(path, name);
    return path;
}

} // namespace velmora
