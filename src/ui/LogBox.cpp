#include "ui/LogBox.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace velmora {

namespace {

const QLatin1String LineEnd("\r\n");

// One log line is one line of the box: a line break inside a path would
// otherwise split it in two.
bool breaksLine(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// Appends line to text as one line.
void appendOneLine(QString &text, const QString &line)
{
    const qsizetype start = text.size();
    text += line;
    std::replace_if(text.begin() + start, text.end(), breaksLine, QChar::ReplacementCharacter);
}

} // namespace

LogBox::LogBox(QPlainTextEdit *box) : m_box(box)
{
    // The log only grows until it is cleared; an undo history of it would
    // double its memory for nothing.
    m_box->document()->setUndoRedoEnabled(false);
    m_nextFrame.setSingleShot(true);
    m_nextFrame.setInterval(int(FrameClock::FrameMs));
    QObject::connect(&m_nextFrame, &QTimer::timeout, [this] { flush(); });
}

void LogBox::Clear()
{
    m_pending.clear();
    m_shown = 0;
    m_box->clear();
    m_clock.reset();
    m_nextFrame.stop();
}

void LogBox::AppendLine(const QString &message)
{
    m_pending.append(message);
}

void LogBox::Repaint()
{
    if (m_clock.due()) {
        flush();
    } else if (!m_nextFrame.isActive()) {
        m_nextFrame.start();
    }
}

void LogBox::flush()
{
    m_nextFrame.stop();
    if (!m_pending.isEmpty()) {
        // The box's lines are joined by line breaks: the first chunk after a
        // clear starts the first line, every later one starts a new line.
        QString chunk;
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            if (m_shown > 0 || i > 0) {
                chunk += u'\n';
            }
            appendOneLine(chunk, m_pending.at(i));
        }
        QScrollBar *bar = m_box->verticalScrollBar();
        const bool following = bar->value() == bar->maximum();
        QTextCursor cursor(m_box->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(chunk);
        if (following) {
            bar->setValue(bar->maximum());
        }
        m_shown += m_pending.size();
        m_pending.clear();
    }
    m_box->viewport()->update();
}

QString LogBox::text() const
{
    QString all;
    if (m_shown > 0) {
        for (QTextBlock block = m_box->document()->begin(); block.isValid(); block = block.next()) {
            all += block.text() + LineEnd;
        }
    }
    for (const QString &line : m_pending) {
        appendOneLine(all, line);
        all += LineEnd;
    }
    return all;
}

} // namespace velmora
