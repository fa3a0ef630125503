#pragma once

#include <QElapsedTimer>
#include <QString>

namespace velmora {

// A one-line status display on standard error while a folder batch runs:
// files done of files found and the rate. Redrawn in place with "\r" at most
// ten times a second, and only when standard error is a terminal, so a log
// redirected to a file or a pipe never sees it.
class ProgressLine
{
public:
    explicit ProgressLine(bool enabled) : m_enabled(enabled) {}

    // Shown while the folder search runs, before any file is done.
    void showSearching(const QString &folder);
    void update(qsizetype done, qsizetype total);
    // Takes the line off the screen; the next update draws it again.
    void clear();

private:
    void draw(const QString &text);

    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_sinceDraw;
    QElapsedTimer m_sinceFirstFile;
    qsizetype m_firstDone = 0;
};

} // namespace velmora
