#include "cli/ProgressLine.h"

#include "platform/Terminal.h"

namespace velmora {

namespace {

constexpr qint64 redrawIntervalMs = 100;
// Return to the start of the line, and erase to its end after the text.
constexpr char lineStart[] = "\r";
constexpr char eraseToEnd[] = "\x1b[K";

} // namespace

void ProgressLine::showSearching(const QString &folder)
{
    if (!m_enabled) {
        return;
    }
    m_sinceFirstFile.invalidate();
    // A status line that wraps cannot be redrawn in place: keep it short.
    constexpr qsizetype longest = 60;
    const QString shown =
        folder.size() > longest ? QLatin1String("...") + folder.right(longest - 3) : folder;
    draw(QLatin1String("Searching ") + shown + QLatin1String(" ..."));
}

void ProgressLine::update(qsizetype done, qsizetype total)
{
    if (!m_enabled) {
        return;
    }
    if (!m_sinceFirstFile.isValid()) {
        // The rate counts from the first converted file, not from the search.
        m_sinceFirstFile.start();
        m_firstDone = done;
    }
    if (m_shown && done < total && m_sinceDraw.isValid() &&
        !m_sinceDraw.hasExpired(redrawIntervalMs)) {
        return;
    }
    QString text = QString::number(done) + QLatin1String(" / ") + QString::number(total) +
                   QLatin1String(" files");
    const qint64 ms = m_sinceFirstFile.elapsed();
    if (ms > 0 && done > m_firstDone) {
        const qint64 rate = (done - m_firstDone) * 1000 / ms;
        text += QLatin1String(", ") + QString::number(rate) + QLatin1String(" files/s");
    }
    draw(text);
}

void ProgressLine::clear()
{
    if (!m_shown) {
        return;
    }
    const QByteArray erase = QByteArray(lineStart) + eraseToEnd;
    writeAll(StandardStream::Error, erase.constData(), erase.size());
    m_shown = false;
}

void ProgressLine::draw(const QString &text)
{
    const QByteArray line = QByteArray(lineStart) + text.toUtf8() + eraseToEnd;
    writeAll(StandardStream::Error, line.constData(), line.size());
    m_shown = true;
    m_sinceDraw.start();
}

} // namespace velmora
