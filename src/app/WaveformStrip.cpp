#include "app/WaveformStrip.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// The strip is never drawn wider than this many columns, however far it is zoomed in.
constexpr int kMaxVirtualWidth = 1 << 18;
// One step of the wheel (or + and −) zooms by this much.
constexpr double kZoomStep = 1.25;
// The steps the time scale may be marked in, in milliseconds.
constexpr qint64 kScaleSteps[] = {100,   200,    500,    1000,   2000,   5000,    10000,   15000,   30000,
                                  60000, 120000, 300000, 600000, 900000, 1800000, 3600000, 7200000, 18000000};

double luminance(const QColor &colour)
{
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

QColor mix(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
                            float(a.greenF() * (1 - share) + b.greenF() * share),
                            float(a.blueF() * (1 - share) + b.blueF() * share));
}

// `colour`, made darker on a light background or lighter on a dark one until it reaches
// `ratio` against it.
QColor standingOut(QColor colour, const QColor &background, double ratio)
{
    const bool darken = luminance(background) > 0.18;
    for (int step = 0; step < 40 && WaveformStrip::contrast(colour, background) < ratio; ++step) {
        float h, s, l, a;
        colour.getHslF(&h, &s, &l, &a);
        l = darken ? std::max(0.0f, l - 0.04f) : std::min(1.0f, l + 0.04f);
        colour = QColor::fromHslF(h, s, l, a);
    }
    return colour.toRgb();
}

} // namespace

double WaveformStrip::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

WaveformStrip::Colours WaveformStrip::coloursFor(const QPalette &palette)
{
    Colours colours;
    colours.background = palette.color(QPalette::Base).toRgb();
    const QColor text = palette.color(QPalette::Text).toRgb();
    // Graphics stand at 3:1 against the background at least, text at 4.5:1.
    colours.position = standingOut(text, colours.background, 4.5);
    colours.scale = standingOut(mix(text, colours.background, 0.25), colours.background, 4.5);
    colours.ahead = standingOut(mix(text, colours.background, 0.45), colours.background, 3.0);
    QColor highlight = palette.color(QPalette::Highlight).toHsl();
    colours.played = standingOut(highlight, colours.background, 3.0);
    // The pointer in the highlight's opposite hue, well saturated, so that it is never taken
    // for the played part or the playback line.
    const int hue = highlight.hslHue() < 0 ? 30 : (highlight.hslHue() + 180) % 360;
    const QColor opposite = QColor::fromHsl(hue, std::max(highlight.hslSaturation(), 190), 128);
    colours.pointer = standingOut(opposite, colours.background, 3.0);
    // Exactly the colours a pixel of the strip can have.
    for (QColor *colour :
         {&colours.background, &colours.ahead, &colours.played, &colours.position, &colours.pointer, &colours.scale})
        *colour = QColor(colour->rgb());
    return colours;
}

QString WaveformStrip::timeText(qint64 ms, bool tenths)
{
    const qint64 seconds = ms / 1000;
    QString text = seconds >= 3600
                       ? QString::asprintf("%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60)
                       : QString::asprintf("%lld:%02lld", seconds / 60, seconds % 60);
    if (tenths)
        text += QStringLiteral(".%1").arg(ms / 100 % 10);
    return text;
}

WaveformStrip::WaveformStrip(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName(QStringLiteral("PlayerScroll"));
    m_scroll->setCursor(Qt::ArrowCursor);
    m_scroll->hide();
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_scrolling)
            setOffset(value);
    });
}

QSize WaveformStrip::sizeHint() const
{
    return QSize(400, 44 + scaleHeight());
}

QSize WaveformStrip::minimumSizeHint() const
{
    return QSize(60, 30 + scaleHeight());
}

int WaveformStrip::scaleHeight() const
{
    return fontMetrics().height() + 5;
}

QRect WaveformStrip::waveRect() const
{
    const int below = scaleHeight() + (m_scroll->isHidden() ? 0 : m_scroll->sizeHint().height());
    return QRect(0, 0, width(), std::max(2, height() - below));
}

int WaveformStrip::virtualWidth() const
{
    return std::max(1, int(std::min<double>(width() * m_zoom, kMaxVirtualWidth)));
}

double WaveformStrip::viewStart() const
{
    return double(m_offset) / virtualWidth();
}

double WaveformStrip::viewEnd() const
{
    return std::min(1.0, double(m_offset + width()) / virtualWidth());
}

double WaveformStrip::fractionAt(int x) const
{
    return std::clamp(double(m_offset + x) / virtualWidth(), 0.0, 1.0);
}

void WaveformStrip::setPeaks(WaveformPeaks peaks, qint64 durationMs)
{
    m_peaks = std::move(peaks);
    m_durationMs = m_peaks.isEmpty() ? 0 : durationMs;
    m_columns.clear();
    m_position = 0.0;
    m_zoom = 1.0;
    m_offset = 0;
    updateScrollBar();
    update();
}

void WaveformStrip::setPosition(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == m_position)
        return;
    // The view follows playback when the line leaves it, unless the user had scrolled the
    // line out of view.
    const int virtualColumns = virtualWidth();
    const int before = int(m_position * virtualColumns);
    const int after = int(fraction * virtualColumns);
    const auto inView = [this](int column) { return column >= m_offset && column <= m_offset + width(); };
    m_position = fraction;
    if (m_zoom > 1.0 && inView(before) && !inView(after))
        setOffset(after - width() / 10);
    update();
}

void WaveformStrip::setZoom(double zoom, int anchorX)
{
    const double most = std::max(1.0, std::min(kMaxZoom, double(kMaxVirtualWidth) / std::max(1, width())));
    zoom = std::clamp(zoom, 1.0, most);
    if (zoom == m_zoom || m_peaks.isEmpty())
        return;
    // The time under the anchor stays where it is.
    const double anchor = fractionAt(anchorX);
    m_zoom = zoom;
    m_columns.clear();
    updateScrollBar();
    setOffset(int(std::lround(anchor * virtualWidth())) - anchorX);
    update();
}

void WaveformStrip::zoomIn()
{
    const int line = int(m_position * virtualWidth()) - m_offset;
    setZoom(m_zoom * kZoomStep, line >= 0 && line <= width() ? line : width() / 2);
}

void WaveformStrip::zoomOut()
{
    const int line = int(m_position * virtualWidth()) - m_offset;
    setZoom(m_zoom / kZoomStep, line >= 0 && line <= width() ? line : width() / 2);
}

void WaveformStrip::setOffset(int offset)
{
    offset = std::clamp(offset, 0, std::max(0, virtualWidth() - width()));
    if (offset != m_offset) {
        m_offset = offset;
        update();
    }
    m_scrolling = true;
    m_scroll->setValue(m_offset);
    m_scrolling = false;
}

void WaveformStrip::updateScrollBar()
{
    const bool zoomed = m_zoom > 1.0 && !m_peaks.isEmpty();
    m_scrolling = true;
    m_scroll->setRange(0, std::max(0, virtualWidth() - width()));
    m_scroll->setPageStep(std::max(1, width()));
    m_scroll->setSingleStep(std::max(1, width() / 20));
    m_scroll->setValue(m_offset);
    m_scrolling = false;
    const int barHeight = m_scroll->sizeHint().height();
    m_scroll->setGeometry(0, height() - barHeight, width(), barHeight);
    m_scroll->setVisible(zoomed);
}

QString WaveformStrip::pointerText() const
{
    if (m_pointerX < 0 || m_peaks.isEmpty())
        return QString();
    return timeText(qint64(std::llround(fractionAt(m_pointerX) * double(m_durationMs))), true);
}

void WaveformStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_columns.clear();
    updateScrollBar();
    setOffset(m_offset);
}

void WaveformStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Colours colours = coloursFor(palette());
    painter.fillRect(rect(), colours.background);
    const QRect wave = waveRect();
    const int middle = wave.center().y();
    painter.setPen(colours.scale);
    painter.drawLine(0, middle, width(), middle);
    if (m_peaks.isEmpty())
        return;
    const int virtualColumns = virtualWidth();
    if (int(m_columns.size()) != virtualColumns)
        m_columns = m_peaks.columns(virtualColumns);

    const int cursorColumn = int(m_position * virtualColumns);
    const double scale = (wave.height() / 2 - 1) / 32768.0;
    for (int x = 0; x < width() && m_offset + x < int(m_columns.size()); ++x) {
        const WaveformPeak &peak = m_columns[size_t(m_offset + x)];
        painter.setPen(m_offset + x < cursorColumn ? colours.played : colours.ahead);
        painter.drawLine(x, middle - int(peak.high() * scale), x, middle - int(peak.low() * scale));
    }
    const int cursorX = cursorColumn - m_offset;
    if (cursorX >= -1 && cursorX <= width())
        painter.fillRect(QRect(cursorX - 1, wave.top(), 2, wave.height()), colours.position);

    drawScale(painter, colours, QRect(0, wave.bottom() + 1, width(), scaleHeight()));

    if (m_pointerX >= 0) {
        QPen dashed(colours.pointer, 1, Qt::DashLine);
        painter.setPen(dashed);
        painter.drawLine(m_pointerX, wave.top(), m_pointerX, wave.bottom());
        // The time at the pointer in a box beside the line, on the side with room for it.
        const QString text = pointerText();
        const QFontMetrics metrics = fontMetrics();
        QRect box(0, wave.top() + 1, metrics.horizontalAdvance(text) + 8, metrics.height() + 2);
        box.moveLeft(m_pointerX + 4 + box.width() <= width() ? m_pointerX + 4 : m_pointerX - 4 - box.width());
        painter.fillRect(box, colours.background);
        painter.setPen(colours.pointer);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(colours.position);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

void WaveformStrip::drawScale(QPainter &painter, const Colours &colours, const QRect &band)
{
    if (m_durationMs <= 0)
        return;
    const int virtualColumns = virtualWidth();
    const double columnsPerMs = double(virtualColumns) / double(m_durationMs);
    const QFontMetrics metrics = fontMetrics();
    // The finest step whose marks leave room for their times.
    const int room = metrics.horizontalAdvance(timeText(m_durationMs, true)) + 16;
    qint64 step = kScaleSteps[std::size(kScaleSteps) - 1];
    for (const qint64 candidate : kScaleSteps) {
        if (double(candidate) * columnsPerMs >= room) {
            step = candidate;
            break;
        }
    }
    const bool tenths = step < 1000;
    painter.setPen(colours.scale);
    painter.drawLine(band.left(), band.top(), band.right(), band.top());
    const qint64 firstMs = qint64(double(m_offset) / columnsPerMs);
    const qint64 lastMs = std::min(m_durationMs, qint64(double(m_offset + width()) / columnsPerMs) + 1);
    for (qint64 ms = firstMs / step * step; ms <= lastMs; ms += step) {
        const int x = int(std::lround(double(ms) * columnsPerMs)) - m_offset;
        if (x < 0 || x > width())
            continue;
        painter.drawLine(x, band.top(), x, band.top() + 4);
        const int half = int(std::lround(double(ms + step / 2) * columnsPerMs)) - m_offset;
        painter.drawLine(half, band.top(), half, band.top() + 2);
        painter.drawText(QRect(x + 2, band.top() + 2, room, band.height() - 2), Qt::AlignLeft | Qt::AlignTop,
                         timeText(ms, tenths));
    }
}

void WaveformStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        requestSeekAt(event->position().toPoint().x());
}

void WaveformStrip::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const int x = waveRect().contains(at) || (event->buttons() & Qt::LeftButton) ? at.x() : -1;
    if (x != m_pointerX) {
        m_pointerX = x;
        update();
    }
    if (event->buttons() & Qt::LeftButton)
        requestSeekAt(at.x());
}

void WaveformStrip::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_pointerX = -1;
    update();
}

void WaveformStrip::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    if (m_peaks.isEmpty() || delta.isNull()) {
        event->ignore();
        return;
    }
    if ((event->modifiers() & Qt::ShiftModifier) || std::abs(delta.x()) > std::abs(delta.y())) {
        // Along the recording, an eighth of the strip per notch.
        const int notches = (std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y());
        setOffset(m_offset - notches * width() / 8 / 120);
    } else {
        setZoom(m_zoom * std::pow(kZoomStep, delta.y() / 120.0), int(event->position().x()));
    }
    event->accept();
}

void WaveformStrip::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        return;
    case Qt::Key_Minus:
        zoomOut();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void WaveformStrip::requestSeekAt(int x)
{
    if (m_peaks.isEmpty() || width() <= 0)
        return;
    emit seekRequested(fractionAt(x));
}
