#pragma once
// The picture of a recording in a window of its own: a row per frame, time running down, each
// port's pixels left to right, under a line of its figures in the window's language. It zooms:
// to the window (each axis stretched, so that two frames fill it too), 1:1, or 2, 4, 8 screen
// pixels a pixel, always without smoothing.

#include <QDialog>
#include <QImage>

class QComboBox;
class QLabel;
class QScrollArea;

namespace quorvex::app {

class PreviewDialog : public QDialog {
  public:
    enum Zoom { Fit, Actual, Times2, Times4, Times8 };

    explicit PreviewDialog(QWidget* parent);
    // Shows `frames` (a row per drawn frame) under `figures`.
    void ShowPicture(const QString& title, const QImage& frames, const QString& figures);
    void SetZoom(Zoom zoom);
    // The picture as shown, at the zoom chosen.
    QImage Shown() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Rescale();

    QLabel* m_figures = nullptr;
    QComboBox* m_zoom = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_image = nullptr;
    QImage m_frames;
};

}  // namespace quorvex::app
