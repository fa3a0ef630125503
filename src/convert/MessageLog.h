#pragma once

#include "convert/LogEntry.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace velmora {

// The one channel through which results leave the core: the main window's log
// box, the command line's standard output, or a string in the tests. Results
// arrive as entries (Report); a log that only shows text takes each entry's
// line.
class MessageLog
{
public:
    virtual ~MessageLog() = default;
    virtual void Clear() = 0;
    virtual void Report(const LogEntry &entry) { AppendLine(formatLine(entry)); }
    virtual void AppendLine(const QString &message) = 0;
    // Shows what was appended so far; a log may defer it to a rate the eye can
    // follow, and shows everything once the batch is over.
    virtual void Repaint() = 0;
};

// A log held in memory: each line ends in CR LF in text().
class StringMessageLog : public MessageLog
{
public:
    void Clear() override;
    void Report(const LogEntry &entry) override;
    void AppendLine(const QString &message) override;
    void Repaint() override;

    QString text() const;
    const QStringList &lines() const { return m_lines; }
    const std::vector<LogEntry> &entries() const { return m_entries; }
    int repaintCount() const { return m_repaints; }

private:
    QStringList m_lines;
    std::vector<LogEntry> m_entries;
    int m_repaints = 0;
};

} // namespace velmora
