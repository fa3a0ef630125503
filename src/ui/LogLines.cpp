#include "ui/LogLines.h"

#include <algorithm>

namespace velmora {

namespace {

bool breaksLine(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

void LogLines::append(QStringView text, bool failure)
{
    const qsizetype start = m_text.size();
    m_starts.push_back(start);
    m_failures.push_back(failure);
    m_failureCount += failure ? 1 : 0;
    m_text += text;
    std::replace_if(m_text.begin() + start, m_text.end(), breaksLine, QChar::ReplacementCharacter);
}

void LogLines::clear()
{
    m_text = QString();
    m_starts = {};
    m_failures = {};
    m_failureCount = 0;
}

QStringView LogLines::line(qsizetype index) const
{
    const qsizetype start = m_starts[std::size_t(index)];
    const qsizetype end = index + 1 < size() ? m_starts[std::size_t(index + 1)] : m_text.size();
    return QStringView(m_text).mid(start, end - start);
}

} // namespace velmora
