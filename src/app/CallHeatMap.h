#pragma once

#include <QStringList>
#include <QWidget>

#include <array>

// The calls of each hour of each weekday as a grid of squares, one row per weekday (Monday
// first) and one column per hour: the more calls, the stronger the square's colour, its
// count written in it where it fits. It shows either all calls or the missed ones. A click
// on a square asks for its calls (slotClicked); hovering one tells its weekday, hour and
// count. Colours come from the palette, so the grid suits light and dark themes alike.
class CallHeatMap : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWeekdays = 7;
    static constexpr int kHours = 24;
    using Counts = std::array<qint64, kWeekdays * kHours>;

    explicit CallHeatMap(QWidget *parent = nullptr);

    // The weekdays' short names, Monday first, and what a count is called in the tooltip.
    void setTexts(const QStringList &weekdays, const QString &countName);
    void setCounts(const Counts &counts, bool missed);
    qint64 count(int weekday, int hour) const { return m_counts[std::size_t(weekday * kHours + hour)]; }
    // The square of a weekday and hour, in widget coordinates.
    QRect squareRect(int weekday, int hour) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void slotClicked(int weekday, int hour);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    // The weekday and hour under a point; false outside the squares.
    bool slotAt(const QPoint &point, int *weekday, int *hour) const;
    QRect gridRect() const;
    int labelWidth() const;
    int headerHeight() const;

    Counts m_counts{};
    qint64 m_largest = 0;
    bool m_missed = false;
    QStringList m_weekdays;
    QString m_countName;
};
