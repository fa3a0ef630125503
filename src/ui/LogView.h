#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

#include <vector>

class QTextLayout;

namespace velmora {

// A read-only multi-line text box for a log that only grows. A line costs the
// same however many came before it: the lines are kept in one buffer, and only
// those in sight are laid out (wrapped at the box's width) and drawn. The
// vertical scroll bar counts lines. Text can be selected with the mouse or the
// keyboard and copied.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

    // Appends each entry as one line, a line break inside one shown as a
    // replacement character. A box scrolled to its end stays there.
    void appendLines(const QStringList &lines);
    void clear();

    qsizetype lineCount() const { return qsizetype(m_starts.size()); }
    QStringView line(qsizetype index) const;
    // The lines joined by line breaks.
    QString toPlainText() const;

    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    void selectAll();
    void copy() const;

    // text with every line break replaced, so that it stays one line.
    static QString asOneLine(QString text);

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

    QString m_text;                  // every line, one after another
    std::vector<qsizetype> m_starts; // where each line starts in m_text
    Position m_anchor;
    Position m_cursor;
};

} // namespace velmora
