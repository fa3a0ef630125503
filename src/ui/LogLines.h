#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace velmora {

// A line of the log on its way to the box: its text, and whether it tells of
// a failure (a file or folder that could not be handled), as its entry said.
struct LogLine
{
    QString text;
    bool failure = false;
};

// The lines of a log that only grows, kept once in one buffer: a line costs
// its characters and a few bytes more, however many came before it. Each line
// remembers whether it is a failure, so that a view can show only those
// without reading the text back.
class LogLines
{
public:
    // Appends text as one line, any line break inside it shown as a
    // replacement character.
    void append(QStringView text, bool failure);
    void clear();

    qsizetype size() const { return qsizetype(m_starts.size()); }
    QStringView line(qsizetype index) const;
    bool isFailure(qsizetype index) const { return m_failures[std::size_t(index)]; }
    qsizetype failureCount() const { return m_failureCount; }

private:
    QString m_text;                  // every line, one after another
    std::vector<qsizetype> m_starts; // where each line starts in m_text
    std::vector<bool> m_failures;
    qsizetype m_failureCount = 0;
};

} // namespace velmora
