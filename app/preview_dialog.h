#pragma once
// The picture of a recording in a window of its own: a row per frame, time running down, each
// port's pixels left to right, under a line of its figures in the window's language. It zooms:
// to the window (each axis stretched, so that two frames fill it too), 1:1, or 2, 4, 8 screen
// pixels a pixel, always without smoothing.

#include <QDialog>
#include <QImage>
#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;

namespace quorvex::app {

// What the LEDs show: one strip per port, top down, each LED a block of kLedWidth x
// kLedHeight screen pixels with a dark line between strips. `ports`: 3 bytes R, G, B a pixel.
inline constexpr int kLedWidth = 3;
inline constexpr int kLedHeight = 10;
QImage PortStripsImage(const std::vector<std::vector<uint8_t>>& ports);

class PreviewDialog : public QDialog {
  public:
    enum Zoom { Fit, Actual, Times2, Times4, Times8 };

    explicit PreviewDialog(QWidget* parent);
    // Shows `frames` (a row per drawn frame, `every` frames apart; port p's pixels from column
    // portLeft[p], a separator before the next) under `figures`, and beside it the strips of
    // the LEDs in one drawn frame, the first until another is chosen.
    void ShowPicture(const QString& title, const QImage& frames, const QString& figures,
                     const std::vector<int>& portLeft = {}, int every = 1);
    void SetZoom(Zoom zoom);
    // The picture as shown, at the zoom chosen.
    QImage Shown() const;
    // The strips of the LEDs as shown.
    QImage Strips() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Rescale();
    void ShowStrips();

    QLabel* m_figures = nullptr;
    QComboBox* m_zoom = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_image = nullptr;
    QImage m_frames;
    QSpinBox* m_frame = nullptr;
    QLabel* m_frameLabel = nullptr;
    QLabel* m_strips = nullptr;
    std::vector<int> m_portLeft;
    int m_every = 1;
};

}  // namespace quorvex::app
