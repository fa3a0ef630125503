// Writes the desktop icons (an SVG and PNGs of the given sizes) from the very
// drawing the window's icon comes from.
#include "ui/AppIcon.h"

#include <QFile>
#include <QString>

#include <cstdio>

using namespace velmora;

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: velmora-make-icons SVG-FILE SIZE:PNG-FILE...\n", stderr);
        return 2;
    }
    QFile svg(QString::fromLocal8Bit(argv[1]));
    const QByteArray text = appIconSvg().toUtf8();
    if (!svg.open(QIODevice::WriteOnly) || svg.write(text) != text.size() || !svg.flush()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const qsizetype colon = argument.indexOf(u':');
        bool isNumber = false;
        const int size = argument.left(colon).toInt(&isNumber);
        if (colon < 0 || !isNumber || size <= 0 ||
            !appIconImage(size).save(argument.mid(colon + 1), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
