#include "ui/LogView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QtMath>

#include <algorithm>

namespace velmora {

namespace {

// Room between the box's left edge and the text.
constexpr int Margin = 4;

bool breaksLine(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

LogView::LogView(QWidget *parent) : QAbstractScrollArea(parent)
{
    // Long lines wrap, as in a text box with only a vertical scroll bar.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(1);
    viewport()->setCursor(Qt::IBeamCursor);
}

QString LogView::asOneLine(QString text)
{
    std::replace_if(text.begin(), text.end(), breaksLine, QChar::ReplacementCharacter);
    return text;
}

void LogView::appendLines(const QList<LogLine> &lines)
{
    const qsizetype from = m_own.size();
    for (const LogLine &line : lines) {
        m_own.append(line.text, line.failure);
    }
    if (m_lines == &m_own) {
        linesAdded(from);
    }
    emit linesAppended(from);
}

void LogView::linesAdded(qsizetype from)
{
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    const bool keepsEnd = !hasSelection();
    if (m_failuresOnly) {
        for (qsizetype i = from; i < m_lines->size(); ++i) {
            if (m_lines->isFailure(i)) {
                m_shown.push_back(i);
            }
        }
    }
    // With nothing selected, the keyboard's place follows the newest line.
    if (keepsEnd) {
        m_anchor = m_cursor = endPosition();
    }
    updateScrollBars();
    if (following) {
        bar->setValue(bar->maximum());
    }
    viewport()->update();
}

void LogView::clear()
{
    m_own.clear();
    if (m_lines == &m_own) {
        linesGone();
    }
    emit linesCleared();
}

void LogView::linesGone()
{
    m_shown = {};
    m_anchor = m_cursor = Position();
    updateScrollBars();
    viewport()->update();
}

void LogView::showLinesOf(LogView *source)
{
    if (m_source) {
        disconnect(m_source, nullptr, this, nullptr);
    }
    m_source = source;
    m_lines = source ? &source->m_own : &m_own;
    if (source) {
        connect(source, &LogView::linesAppended, this, &LogView::linesAdded);
        connect(source, &LogView::linesCleared, this, &LogView::linesGone);
        // A box that goes leaves this one with its own lines.
        connect(source, &QObject::destroyed, this, [this] {
            m_lines = &m_own;
            linesGone();
        });
    }
    setFailuresOnly(m_failuresOnly);
}

void LogView::setFailuresOnly(bool only)
{
    m_failuresOnly = only;
    linesGone();
    linesAdded(0);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

qsizetype LogView::lineCount() const
{
    return m_failuresOnly ? qsizetype(m_shown.size()) : m_lines->size();
}

QStringView LogView::line(qsizetype index) const
{
    return m_lines->line(m_failuresOnly ? m_shown[std::size_t(index)] : index);
}

bool LogView::find(const QString &text, bool backward)
{
    const qsizetype count = lineCount();
    if (text.isEmpty() || count == 0) {
        return false;
    }
    const Position from = backward ? std::min(m_anchor, m_cursor) : std::max(m_anchor, m_cursor);
    // The line the search starts on comes twice: its part past the start
    // first, the rest once every other line has been looked at.
    for (qsizetype step = 0; step <= count; ++step) {
        const qsizetype at =
            backward ? (from.line - step % count + count) % count : (from.line + step) % count;
        const QStringView shown = line(at);
        qsizetype column = -1;
        if (backward) {
            const qsizetype before = step == 0 ? from.column - 1 : -1;
            column =
                step == 0 && before < 0 ? -1 : shown.lastIndexOf(text, before, Qt::CaseInsensitive);
        } else {
            column = shown.indexOf(text, step == 0 ? from.column : 0, Qt::CaseInsensitive);
        }
        if (column >= 0) {
            select({at, column}, {at, column + text.size()});
            scrollToLine(at);
            return true;
        }
    }
    return false;
}

void LogView::scrollToLine(qsizetype index)
{
    QScrollBar *bar = verticalScrollBar();
    const qsizetype inSight = std::max(1, viewport()->height() / fontMetrics().lineSpacing());
    if (index < bar->value() || index >= bar->value() + inSight - 1) {
        bar->setValue(int(std::max<qsizetype>(0, index - inSight / 2)));
    }
}

QString LogView::toPlainText() const
{
    QString text;
    for (qsizetype i = 0; i < lineCount(); ++i) {
        if (i > 0) {
            text += u'\n';
        }
        text += line(i);
    }
    return text;
}

QString LogView::selectedText() const
{
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    QString text;
    for (qsizetype i = from.line; i <= to.line && i < lineCount(); ++i) {
        const qsizetype start = i == from.line ? from.column : 0;
        const qsizetype end = i == to.line ? to.column : line(i).size();
        if (i > from.line) {
            text += u'\n';
        }
        text += line(i).mid(start, end - start);
    }
    return text;
}

void LogView::selectAll()
{
    select(Position(), endPosition());
}

void LogView::copy() const
{
    if (hasSelection()) {
        QGuiApplication::clipboard()->setText(selectedText());
    }
}

LogView::Position LogView::endPosition() const
{
    return lineCount() == 0 ? Position() : Position{lineCount() - 1, line(lineCount() - 1).size()};
}

int LogView::layOut(QTextLayout &layout, qsizetype index) const
{
    layout.setText(line(index).toString());
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal width = std::max(1, viewport()->width() - 2 * Margin);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, height));
        height += row.height();
    }
    layout.endLayout();
    return qCeil(height);
}

LogView::Position LogView::positionAt(QPoint point) const
{
    const qsizetype first = verticalScrollBar()->value();
    if (lineCount() == 0) {
        return {};
    }
    if (point.y() < 0) {
        return {first, 0};
    }
    QTextLayout layout;
    int top = 0;
    for (qsizetype i = first; i < lineCount(); ++i) {
        const int height = layOut(layout, i);
        if (point.y() < top + height) {
            for (int n = 0; n < layout.lineCount(); ++n) {
                const QTextLine row = layout.lineAt(n);
                if (point.y() - top < row.y() + row.height() || n + 1 == layout.lineCount()) {
                    return {i, row.xToCursor(point.x() - Margin)};
                }
            }
        }
        top += height;
        // Below the last line in sight: the end of that line.
        if (top >= viewport()->height()) {
            return {i, line(i).size()};
        }
    }
    return endPosition();
}

void LogView::select(Position anchor, Position cursor)
{
    m_anchor = anchor;
    m_cursor = cursor;
    viewport()->update();
}

void LogView::updateScrollBars()
{
    // The last line can scroll up to the top; beyond that, the lines that fit
    // at the end stay in sight together.
    int room = viewport()->height();
    qsizetype fitting = 0;
    QTextLayout layout;
    for (qsizetype i = lineCount() - 1; i >= 0; --i) {
        room -= layOut(layout, i);
        if (room < 0) {
            break;
        }
        ++fitting;
    }
    QScrollBar *bar = verticalScrollBar();
    bar->setRange(0, int(std::max<qsizetype>(0, lineCount() - std::max<qsizetype>(fitting, 1))));
    bar->setPageStep(std::max(1, viewport()->height() / fontMetrics().lineSpacing()));
}

void LogView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    QTextLayout layout;
    int top = 0;
    for (qsizetype i = verticalScrollBar()->value(); i < lineCount() && top < viewport()->height();
         ++i) {
        const int height = layOut(layout, i);
        QList<QTextLayout::FormatRange> selection;
        if (hasSelection() && from.line <= i && i <= to.line) {
            QTextLayout::FormatRange range;
            range.start = int(i == from.line ? from.column : 0);
            range.length = int((i == to.line ? to.column : line(i).size()) - range.start);
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selection.append(range);
        }
        layout.draw(&painter, QPointF(Margin, top), selection);
        top += height;
    }
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    if (following) {
        bar->setValue(bar->maximum());
    }
}

void LogView::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *bar = verticalScrollBar();
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::SelectStartOfDocument)) {
        select(m_anchor, Position());
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->matches(QKeySequence::SelectEndOfDocument)) {
        select(m_anchor, endPosition());
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        // Arrows and page keys scroll.
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const Position at = positionAt(event->position().toPoint());
    select(event->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    // Dragging past the top or the bottom scrolls on.
    const QPoint point = event->position().toPoint();
    if (point.y() < 0) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (point.y() >= viewport()->height()) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    select(m_anchor, positionAt(point));
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu;
    QAction *copying = menu.addAction(tr("&Copy"));
    copying->setShortcut(QKeySequence::Copy);
    copying->setEnabled(hasSelection());
    connect(copying, &QAction::triggered, this, &LogView::copy);
    QAction *all = menu.addAction(tr("Select &All"));
    all->setShortcut(QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, &LogView::selectAll);
    menu.exec(event->globalPos());
}

} // namespace velmora
