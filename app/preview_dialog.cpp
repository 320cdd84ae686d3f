#include "app/preview_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quorvex::app {

namespace {

QString Text(const char* source) { return QCoreApplication::translate("Preview", source); }

// Screen pixels a pixel of the picture takes at each zoom but Fit.
constexpr int kScale[] = {0, 1, 2, 4, 8};

}  // namespace

QImage PortStripsImage(const std::vector<std::vector<uint8_t>>& ports) {
    size_t widest = 1;
    for (const auto& p : ports) widest = std::max(widest, p.size() / 3);
    const int height = std::max<int>(1, static_cast<int>(ports.size()) * (kLedHeight + 2));
    QImage image(static_cast<int>(widest) * kLedWidth, height, QImage::Format_RGB888);
    image.fill(QColor(24, 24, 24));
    for (size_t p = 0; p < ports.size(); ++p) {
        const int top = static_cast<int>(p) * (kLedHeight + 2);
        for (size_t i = 0; i + 2 < ports[p].size(); i += 3) {
            const QRgb colour = qRgb(ports[p][i], ports[p][i + 1], ports[p][i + 2]);
            const int left = static_cast<int>(i / 3) * kLedWidth;
            for (int y = top; y < top + kLedHeight; ++y) {
                for (int x = left; x < left + kLedWidth; ++x) image.setPixel(x, y, colour);
            }
        }
    }
    return image;
}

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
    m_frameLabel = new QLabel(Text(QT_TRANSLATE_NOOP("Preview", "LEDs at frame:")));
    m_frame = new QSpinBox;
    m_frame->setObjectName(QStringLiteral("previewFrame"));
    m_frameLabel->setBuddy(m_frame);
    m_strips = new QLabel;
    m_strips->setObjectName(QStringLiteral("previewStrips"));
    auto* stripsScroll = new QScrollArea;
    stripsScroll->setWidget(m_strips);
    stripsScroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(m_frameLabel);
    frameRow->addWidget(m_frame);
    frameRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_scroll, 3);
    layout->addLayout(frameRow);
    layout->addWidget(stripsScroll, 1);
    connect(m_zoom, &QComboBox::currentIndexChanged, this, [this] { Rescale(); });
    connect(m_frame, &QSpinBox::valueChanged, this, [this] { ShowStrips(); });
}

void PreviewDialog::ShowPicture(const QString& title, const QImage& frames, const QString& figures,
                                const std::vector<int>& portLeft, int every) {
    setWindowTitle(title);
    m_figures->setText(figures);
    m_frames = frames;
    m_portLeft = portLeft;
    m_every = std::max(every, 1);
    {
        const QSignalBlocker blocker(m_frame);
        // Frames as numbered from 1, a step per drawn row.
        m_frame->setRange(1, std::max(1, (frames.height() - 1) * m_every + 1));
        m_frame->setSingleStep(m_every);
        m_frame->setValue(1);
    }
    ShowStrips();
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

void PreviewDialog::ShowStrips() {
    const int row = (m_frame->value() - 1) / m_every;
    std::vector<std::vector<uint8_t>> ports;
    if (!m_frames.isNull() && row < m_frames.height()) {
        for (size_t p = 0; p < m_portLeft.size(); ++p) {
            // A separator column stands before each port but the first.
            const int end = p + 1 < m_portLeft.size() ? m_portLeft[p + 1] - 1 : m_frames.width();
            std::vector<uint8_t> pixels;
            for (int x = m_portLeft[p]; x < end; ++x) {
                const QRgb c = m_frames.pixel(x, row);
                pixels.insert(pixels.end(),
                              {static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                               static_cast<uint8_t>(qBlue(c))});
            }
            ports.push_back(std::move(pixels));
        }
    }
    const QImage strips = PortStripsImage(ports);
    m_strips->setPixmap(QPixmap::fromImage(strips));
    m_strips->resize(strips.size());
}

QImage PreviewDialog::Strips() const { return m_strips->pixmap().toImage(); }

}  // namespace quorvex::app
