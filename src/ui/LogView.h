#pragma once

#include "ui/LogLines.h"

#include <QAbstractScrollArea>
#include <QList>
#include <QPointer>
#include <QString>

#include <vector>

class QTextLayout;

namespace velmora {

// A read-only multi-line text box for a log that only grows. A line costs the
// same however many came before it: the lines are kept in one buffer, and only
// those in sight are laid out (wrapped at the box's width) and drawn. The
// vertical scroll bar counts lines. Text can be selected with the mouse or the
// keyboard and copied, and found. A box can show another box's lines instead
// of its own, all of them or only the failures, without a copy of them.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

    // Appends each entry as one line, a line break inside one shown as a
    // replacement character. A box scrolled to its end stays there.
    void appendLines(const QList<LogLine> &lines);
    void clear();

    // Shows source's lines, as they come and go, in place of its own.
    void showLinesOf(LogView *source);
    // Shows only the lines that are failures, or every line again.
    void setFailuresOnly(bool only);
    bool failuresOnly() const { return m_failuresOnly; }

    // The lines shown, from first to last.
    qsizetype lineCount() const;
    QStringView line(qsizetype index) const;
    // Every line of the log, shown or not.
    const LogLines &lines() const { return *m_lines; }
    // The lines shown joined by line breaks.
    QString toPlainText() const;

    // Selects the next place (or, backward, the previous one) after the
    // selection where text is, ignoring case, going round past the end, and
    // scrolls to it; false when it is nowhere.
    bool find(const QString &text, bool backward);

    bool hasSelection() const { return m_anchor != m_cursor; }
    // The shown line the keyboard's place (a selection's moving end) is on.
    qsizetype cursorLine() const { return m_cursor.line; }
    QString selectedText() const;
    void selectAll();
    void copy() const;

    // text with every line break replaced, so that it stays one line.
    static QString asOneLine(QString text);

signals:
    // Lines from index from of lines() on were appended.
    void linesAppended(qsizetype from);
    void linesCleared();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // A place between two characters: line and column.
    struct Position
    {
        qsizetype line = 0;
        qsizetype column = 0;
        auto operator<=>(const Position &) const = default;
    };

    Position endPosition() const;
    // Lays line out at the box's width; its height in pixels.
    int layOut(QTextLayout &layout, qsizetype index) const;
    // The place under point, a point in the viewport.
    Position positionAt(QPoint point) const;
    void select(Position anchor, Position cursor);
    void updateScrollBars();
    void linesAdded(qsizetype from);
    void linesGone();
    void scrollToLine(qsizetype index);

    LogLines m_own;
    const LogLines *m_lines = &m_own;
    QPointer<LogView> m_source;
    bool m_failuresOnly = false;
    std::vector<qsizetype> m_shown; // the failures' indexes, when only they are shown
    Position m_anchor;
    Position m_cursor;
};

} // namespace velmora
