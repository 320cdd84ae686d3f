#include "app/preview_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quorvex::app {

namespace {

QString Text(const char* source) { return QCoreApplication::translate("Preview", source); }

// Screen pixels a pixel of the picture takes at each zoom but Fit.
constexpr int kScale[] = {0, 1, 2, 4, 8};

}  // namespace

PreviewDialog::PreviewDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("previewDialog"));
    m_figures = new QLabel;
    m_figures->setObjectName(QStringLiteral("previewFigures"));
    m_figures->setWordWrap(true);
    m_zoom = new QComboBox;
    m_zoom->setObjectName(QStringLiteral("previewZoom"));
    m_zoom->addItems({Text(QT_TRANSLATE_NOOP("Preview", "Fit to window")), QStringLiteral("1:1"),
                      Text(QT_TRANSLATE_NOOP("Preview", "x2")),
                      Text(QT_TRANSLATE_NOOP("Preview", "x4")),
                      Text(QT_TRANSLATE_NOOP("Preview", "x8"))});
    auto* zoomLabel = new QLabel(Text(QT_TRANSLATE_NOOP("Preview", "Zoom:")));
    zoomLabel->setBuddy(m_zoom);
    m_image = new QLabel;
    m_image->setObjectName(QStringLiteral("previewImage"));
    m_scroll = new QScrollArea;
    m_scroll->setWidget(m_image);
    m_scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* top = new QHBoxLayout;
    top->addWidget(m_figures, 1);
    top->addWidget(zoomLabel);
    top->addWidget(m_zoom);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_scroll, 1);
    connect(m_zoom, &QComboBox::currentIndexChanged, this, [this] { Rescale(); });
}

void PreviewDialog::ShowPicture(const QString& title, const QImage& frames,
                                const QString& figures) {
    setWindowTitle(title);
    m_figures->setText(figures);
    m_frames = frames;
    // Room for the picture at 1:1 while it is small; a larger one scrolls or is fitted.
    resize(QSize(std::max(frames.width() + 40, 480), std::max(frames.height() + 80, 240))
               .boundedTo(QSize(800, 600)));
    Rescale();
}

void PreviewDialog::SetZoom(Zoom zoom) { m_zoom->setCurrentIndex(zoom); }

QImage PreviewDialog::Shown() const { return m_image->pixmap().toImage(); }

void PreviewDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_zoom->currentIndex() == Fit) Rescale();
}

void PreviewDialog::Rescale() {
    if (m_frames.isNull()) return;
    const int zoom = std::max(m_zoom->currentIndex(), 0);
    QSize size;
    if (zoom == Fit) {
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        size = m_scroll->viewport()->size().expandedTo(QSize(1, 1));
    } else {
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        size = m_frames.size() * kScale[zoom];
    }
    // Each pixel a sharp block: a smoothed picture would show colours no frame held.
    const QImage shown = size == m_frames.size()
                             ? m_frames
                             : m_frames.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_image->setPixmap(QPixmap::fromImage(shown));
    m_image->resize(shown.size());
}

}  // namespace quorvex::app
