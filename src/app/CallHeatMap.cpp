#include "app/CallHeatMap.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kMinSquare = 14;
constexpr int kGap = 2;

QColor mix(const QColor &from, const QColor &to, double share)
{
    const auto channel = [share](int a, int b) { return int(a + (b - a) * share + 0.5); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
}

} // namespace

CallHeatMap::CallHeatMap(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    for (int i = 0; i < kWeekdays; ++i)
        m_weekdays << QString::number(i + 1);
}

void CallHeatMap::setTexts(const QStringList &weekdays, const QString &countName)
{
    if (weekdays.size() == kWeekdays)
        m_weekdays = weekdays;
    m_countName = countName;
    updateGeometry();
    update();
}

void CallHeatMap::setCounts(const Counts &counts, bool missed)
{
    m_counts = counts;
    m_missed = missed;
    m_largest = *std::max_element(m_counts.begin(), m_counts.end());
    update();
}

int CallHeatMap::labelWidth() const
{
    int width = 0;
    for (const QString &name : m_weekdays)
        width = std::max(width, fontMetrics().horizontalAdvance(name));
    return width + 8;
}

int CallHeatMap::headerHeight() const
{
    return fontMetrics().height() + 4;
}

QRect CallHeatMap::gridRect() const
{
    const int left = labelWidth();
    const int top = headerHeight();
    const int square = std::max(kMinSquare, (width() - left - 1) / kHours);
    const int rowHeight = std::max(kMinSquare, fontMetrics().height() + 6);
    return QRect(left, top, square * kHours, rowHeight * kWeekdays);
}

QRect CallHeatMap::squareRect(int weekday, int hour) const
{
    const QRect grid = gridRect();
    const int w = grid.width() / kHours;
    const int h = grid.height() / kWeekdays;
    return QRect(grid.left() + hour * w, grid.top() + weekday * h, w - kGap, h - kGap);
}

QSize CallHeatMap::sizeHint() const
{
    const int rowHeight = std::max(kMinSquare, fontMetrics().height() + 6);
    return QSize(labelWidth() + kHours * 28, headerHeight() + rowHeight * kWeekdays + kGap);
}

QSize CallHeatMap::minimumSizeHint() const
{
    const QSize hint = sizeHint();
    return QSize(labelWidth() + kHours * kMinSquare, hint.height());
}

bool CallHeatMap::slotAt(const QPoint &point, int *weekday, int *hour) const
{
    const QRect grid = gridRect();
    if (!grid.contains(point))
        return false;
    *hour = std::min(kHours - 1, (point.x() - grid.left()) / (grid.width() / kHours));
    *weekday = std::min(kWeekdays - 1, (point.y() - grid.top()) / (grid.height() / kWeekdays));
    return true;
}

void CallHeatMap::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &p = palette();
    const QColor empty = p.color(QPalette::Base);
    // Missed calls in a red that reads on light and dark grounds; the others in the
    // palette's highlight.
    const bool dark = p.color(QPalette::Window).lightness() < 128;
    const QColor full =
        m_missed ? (dark ? QColor(0xef, 0x6b, 0x67) : QColor(0xc6, 0x28, 0x28)) : p.color(QPalette::Highlight);
    const QRect grid = gridRect();
    const int w = grid.width() / kHours;

    painter.setPen(p.color(QPalette::WindowText));
    const int labelStep = w >= fontMetrics().horizontalAdvance(QStringLiteral("00")) + 4 ? 1 : 3;
    for (int hour = 0; hour < kHours; hour += labelStep) {
        const QRect cell(grid.left() + hour * w, 0, w, headerHeight());
        painter.drawText(cell, Qt::AlignCenter, QString::number(hour));
    }
    for (int weekday = 0; weekday < kWeekdays; ++weekday) {
        const QRect square = squareRect(weekday, 0);
        painter.setPen(p.color(QPalette::WindowText));
        painter.drawText(QRect(0, square.top(), labelWidth() - 6, square.height()), Qt::AlignRight | Qt::AlignVCenter,
                         m_weekdays.value(weekday));
        for (int hour = 0; hour < kHours; ++hour) {
            const QRect r = squareRect(weekday, hour);
            const qint64 calls = count(weekday, hour);
            // A square with calls is never as pale as one without.
            const double share = m_largest > 0 && calls > 0 ? 0.15 + 0.85 * double(calls) / double(m_largest) : 0.0;
            const QColor colour = mix(empty, full, share);
            painter.fillRect(r, colour);
            painter.setPen(p.color(QPalette::Mid));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            if (calls > 0) {
                const QString text = QString::number(calls);
                if (fontMetrics().horizontalAdvance(text) + 2 <= r.width()) {
                    painter.setPen(colour.lightness() < 140 ? Qt::white : Qt::black);
                    painter.drawText(r, Qt::AlignCenter, text);
                }
            }
        }
    }
}

void CallHeatMap::mouseMoveEvent(QMouseEvent *event)
{
    int weekday = 0, hour = 0;
    setCursor(slotAt(event->position().toPoint(), &weekday, &hour) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

void CallHeatMap::mouseReleaseEvent(QMouseEvent *event)
{
    int weekday = 0, hour = 0;
    if (event->button() == Qt::LeftButton && slotAt(event->position().toPoint(), &weekday, &hour))
        emit slotClicked(weekday, hour);
    QWidget::mouseReleaseEvent(event);
}

bool CallHeatMap::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        int weekday = 0, hour = 0;
        if (slotAt(help->pos(), &weekday, &hour)) {
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("%1 %2:00–%2:59\n%3: %4")
                                   .arg(m_weekdays.value(weekday))
                                   .arg(hour, 2, 10, QLatin1Char('0'))
                                   .arg(m_countName)
                                   .arg(count(weekday, hour)),
                               this, squareRect(weekday, hour));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}
