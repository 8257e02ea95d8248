#include "app/WaveformStrip.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

WaveformStrip::WaveformStrip(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize WaveformStrip::sizeHint() const
{
    return QSize(400, 44);
}

QSize WaveformStrip::minimumSizeHint() const
{
    return QSize(60, 44);
}

void WaveformStrip::setPeaks(WaveformPeaks peaks)
{
    m_peaks = std::move(peaks);
    m_columns.clear();
    m_position = 0.0;
    update();
}

void WaveformStrip::setPosition(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == m_position)
        return;
    m_position = fraction;
    update();
}

void WaveformStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_columns.clear();
}

void WaveformStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    painter.fillRect(rect(), colours.color(QPalette::Base));
    const int middle = height() / 2;
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawLine(0, middle, width(), middle);
    if (m_peaks.isEmpty())
        return;
    if (int(m_columns.size()) != width())
        m_columns = m_peaks.columns(width());

    const int cursorX = int(m_position * width());
    const double scale = (height() / 2 - 1) / 32768.0;
    const QColor played = colours.color(QPalette::Highlight);
    const QColor ahead = colours.color(QPalette::Text);
    for (int x = 0; x < int(m_columns.size()); ++x) {
        const WaveformPeak &peak = m_columns[size_t(x)];
        painter.setPen(x < cursorX ? played : ahead);
        painter.drawLine(x, middle - int(peak.high() * scale), x, middle - int(peak.low() * scale));
    }
    painter.setPen(colours.color(QPalette::Highlight));
    painter.drawLine(cursorX, 0, cursorX, height());
}

void WaveformStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        requestSeekAt(event->position().toPoint().x());
}

void WaveformStrip::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        requestSeekAt(event->position().toPoint().x());
}

void WaveformStrip::requestSeekAt(int x)
{
    if (m_peaks.isEmpty() || width() <= 0)
        return;
    emit seekRequested(std::clamp(double(x) / width(), 0.0, 1.0));
}
