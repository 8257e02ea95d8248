#pragma once

#include "audio/WaveformPeaks.h"

#include <QWidget>

#include <vector>

// The outline of a whole recording, one column of peaks per pixel, with the part already
// played in the highlight colour and a line where playback stands. A click or a drag
// asks to move playback there.
class WaveformStrip : public QWidget
{
    Q_OBJECT

public:
    explicit WaveformStrip(QWidget *parent = nullptr);

    void setPeaks(WaveformPeaks peaks);
    // Where playback stands, 0 (start) to 1 (end).
    void setPosition(double fraction);
    double position() const { return m_position; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekRequested(double fraction);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void requestSeekAt(int x);

    WaveformPeaks m_peaks;
    std::vector<WaveformPeak> m_columns; // for the current width; made when first painted
    double m_position = 0.0;
};
