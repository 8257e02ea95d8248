#pragma once

#include "audio/WaveformPeaks.h"

#include <QColor>
#include <QWidget>

#include <vector>

class QPalette;
class QScrollBar;

// The outline of a recording, one column of peaks per pixel, with the part already played
// in the highlight colour, a line where playback stands and, while the mouse is over it, a
// second line at the pointer with the time there. A time scale runs under it. The wheel
// (or + and −) zooms in and out around the pointer (or the playback line), Shift+wheel and
// the scroll bar that shows while zoomed move along the recording, and the view follows
// playback. A click or a drag asks to move playback there. The strip takes the height it
// is given.
class WaveformStrip : public QWidget
{
    Q_OBJECT

public:
    // The colours of the strip, made from a palette so that they stand apart from the
    // background and from each other in light and dark palettes alike.
    struct Colours
    {
        QColor background;
        QColor ahead;    // the waveform not played yet
        QColor played;   // the waveform played already
        QColor position; // the playback line
        QColor pointer;  // the line and time at the mouse pointer
        QColor scale;    // the time scale's ticks and numbers
    };
    static Colours coloursFor(const QPalette &palette);
    // The WCAG contrast ratio of two colours (1 to 21).
    static double contrast(const QColor &a, const QColor &b);

    static constexpr double kMaxZoom = 512.0;

    explicit WaveformStrip(QWidget *parent = nullptr);

    void setPeaks(WaveformPeaks peaks, qint64 durationMs);
    // Where playback stands, 0 (start) to 1 (end).
    void setPosition(double fraction);
    double position() const { return m_position; }

    // How many times the whole recording's width the strip is drawn at (1: all of it).
    double zoom() const { return m_zoom; }
    void setZoom(double zoom, int anchorX);
    void zoomIn();
    void zoomOut();
    // The part of the recording in view, as fractions of it.
    double viewStart() const;
    double viewEnd() const;
    // The time the strip shows under the mouse pointer ("0:07.5"); empty while the pointer
    // is elsewhere.
    QString pointerText() const;
    // Text of a time for the scale and the pointer: "m:ss", "h:mm:ss" from an hour on, with
    // tenths when `tenths`.
    static QString timeText(qint64 ms, bool tenths);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekRequested(double fraction);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int virtualWidth() const;
    int scaleHeight() const;
    QRect waveRect() const;
    double fractionAt(int x) const;
    void requestSeekAt(int x);
    void setOffset(int offset);
    void updateScrollBar();
    void drawScale(QPainter &painter, const Colours &colours, const QRect &band);

    WaveformPeaks m_peaks;
    qint64 m_durationMs = 0;
    std::vector<WaveformPeak> m_columns; // for the current virtual width; made when first painted
    double m_position = 0.0;
    double m_zoom = 1.0;
    int m_offset = 0;    // the virtual column at the strip's left edge
    int m_pointerX = -1; // where the mouse pointer is; -1 elsewhere
    QScrollBar *m_scroll = nullptr;
    bool m_scrolling = false;
};
