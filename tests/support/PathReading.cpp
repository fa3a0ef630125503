#include "support/PathReading.h"

namespace velmora::test {

QByteArray unescapedPath(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char next = i + 1 < utf8.size() ? utf8[i + 1] : '\0';
        if (utf8[i] != '\\' || !QByteArrayView("nrtx\\").contains(next)) {
            bytes += utf8[i];
        } else if (next == 'x') {
            bytes += char(utf8.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else {
            bytes += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
            i += 1;
        }
    }
    return bytes;
}

} // namespace velmora::test
