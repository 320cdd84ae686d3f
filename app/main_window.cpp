#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSessionManager>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "app/app_icon.h"
#include "app/hot_keys.h"
#include "app/preview_dialog.h"
#include "platform/duration_text.h"
#include "platform/printable_text.h"
#include "platform/removable_media.h"
#include "recording/rgb_file.h"
#include "recording/rgb_preview.h"

namespace quorvex::app {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// An unsigned decimal whole number that fits 32 bits; surrounding blanks are allowed.
std::optional<unsigned> ParseUnsigned(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    uint64_t value = 0;
    for (const QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(ch.unicode() - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

QPushButton* NewButton(const QString& text, const char* name) {
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLabel* NewLabel(const QString& text, const char* name) {
    auto* l = new QLabel(text);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// Whole seconds as mm:ss; the minutes grow past 99 as needed.
QString ElapsedText(double seconds) {
    const auto s = static_cast<long long>(std::max(seconds, 0.0));
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QSettings Stored() {
    return QSettings(QString::fromLatin1(kSettingsOrganisation),
                     QString::fromLatin1(kSettingsApplication));
}

// A stored whole number within [low, high], or `fallback` when there is none such.
int StoredInt(const QSettings& settings, const char* key, int low, int high, int fallback) {
    bool ok = false;
    const int value = settings.value(QString::fromLatin1(key)).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

// The frame buffer size the user chose last time, or the default.
int StoredFrameBufferMb() {
    return StoredInt(Stored(), kFrameBufferKey, 1, kMaxFrameBufferMb, kDefaultFrameBufferMb);
}

void StoreFrameBufferMb(int mb) { Stored().setValue(QString::fromLatin1(kFrameBufferKey), mb); }

constexpr char kSacnOffsetKey[] = "sacnOffset";
constexpr char kJoinMulticastKey[] = "joinMulticast";

using HotKeyChoice = std::array<QKeyCombination, 3>;
constexpr HotKeyChoice kDefaultHotKeys = {Qt::ALT | Qt::Key_F7, Qt::ALT | Qt::Key_F8,
                                          Qt::ALT | Qt::Key_F9};

QString KeyText(QKeyCombination keys) {
    return QKeySequence(keys).toString(QKeySequence::NativeText);
}

// Why the keys cannot be the hot keys, or nothing when they can.
std::optional<QString> HotKeyProblem(const HotKeyChoice& keys) {
    const auto text = [](const char* source, QKeyCombination key) {
        return QCoreApplication::translate("quorvex::app::MainWindow", source).arg(KeyText(key));
    };
    constexpr auto kHeld = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    for (size_t i = 0; i < keys.size(); ++i) {
        // Grabbed for the whole desktop, a plain letter could no longer be typed anywhere.
        const bool functionKey = keys[i].key() >= Qt::Key_F1 && keys[i].key() <= Qt::Key_F35;
        if (!functionKey && !(keys[i].keyboardModifiers() & kHeld)) {
            return text(kHotKeyAlone, keys[i]);
        }
        for (size_t j = i + 1; j < keys.size(); ++j) {
            if (keys[i] == keys[j]) return text(kHotKeyTwice, keys[i]);
        }
    }
    return std::nullopt;
}

HotKeyChoice StoredHotKeys() {
    const QSettings settings = Stored();
    HotKeyChoice keys = kDefaultHotKeys;
    for (size_t i = 0; i < keys.size(); ++i) {
        const QKeySequence stored =
            QKeySequence::fromString(settings.value(QString::fromLatin1(kHotKeyKeys[i])).toString(),
                                     QKeySequence::PortableText);
        if (!stored.isEmpty() && stored[0].key() != Qt::Key_unknown) keys[i] = stored[0];
    }
    // Settings edited by hand could give one key two commands.
    return HotKeyProblem(keys) ? kDefaultHotKeys : keys;
}

void StoreHotKeys(const HotKeyChoice& keys) {
    QSettings settings = Stored();
    for (size_t i = 0; i < keys.size(); ++i) {
        settings.setValue(QString::fromLatin1(kHotKeyKeys[i]),
                          QKeySequence(keys[i]).toString(QKeySequence::PortableText));
    }
}

// "Alt+F7/F8/F9" for keys with the same modifiers, else "Ctrl+1/Alt+F8".
QString ShortKeyList(const std::vector<QKeyCombination>& keys) {
    QStringList names;
    bool sameModifiers = true;
    for (const QKeyCombination k : keys) {
        names << KeyText(k);
        sameModifiers &= k.keyboardModifiers() == keys.front().keyboardModifiers();
    }
    if (sameModifiers && names.size() > 1) {
        for (qsizetype i = 1; i < names.size(); ++i) {
            names[i] = QKeySequence(keys[size_t(i)].key()).toString(QKeySequence::NativeText);
        }
    }
    return names.join(QLatin1Char('/'));
}

// The IPv4 address first, as people know their adapters; then name and description.
QString AdapterLine(const DeviceEntry& d) {
    QStringList parts;
    for (const std::string* part : {&d.address, &d.name, &d.description}) {
        if (!part->empty()) parts << Q(*part);
    }
    return parts.join(QStringLiteral("  "));
}

// The Level column: the number over a bar as long as the level.
class LevelDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int level = std::clamp(index.data().toInt(), 0, 255);
        QRect bar = option.rect.adjusted(2, 3, -2, -3);
        bar.setWidth(bar.width() * level / 255);
        painter->fillRect(bar, option.palette.highlight().color().lighter(160));
        QStyledItemDelegate::paint(painter, option, index);
    }
};

QSpinBox* NewSpin(const char* name, int low, int high) {
    auto* spin = new QSpinBox;
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    return spin;
}

QGroupBox* NewGroup(const QString& title, const char* name) {
    auto* g = new QGroupBox(title);
    g->setObjectName(QString::fromLatin1(name));
    return g;
}

// Why a file cannot be previewed, in the window's language.
template <class... Args>
std::string PreviewText(const char* text, const Args&... args) {
    QString t = QCoreApplication::translate("Preview", text);
    ((t = t.arg(args)), ...);
    return t.toStdString();
}

// A recording's picture for the window: its frames, without the renderer's English strip, and
// the strip's figures in the window's language.
struct Picture {
    QImage frames;
    QString figures;
    std::vector<int> portLeft;
    int every = 1;
};

// The picture of the recording at `path`, checked and read as every reader of recordings
// does, so a damaged file gives a reason, never a crash.
Result<Picture> PictureOf(const std::string& path) {
    RgbFault fault = RgbFault::Unreadable;
    auto reader = RgbReader::Open(path, &fault);
    if (!reader) return Fail(reader.error());
    const RgbHeaderInfo& h = reader->Header();
    const FrameSource source = [&](uint32_t index, std::vector<uint8_t>& bytes) {
        return reader->ReadFrame(index, bytes);
    };
    const auto image = RenderPreview(reader->Header(), source, RenderOptions{path});
    if (!image) return Fail(image.error());
    const QImage whole(image->rgb.data(), image->width, image->height, image->width * 3,
                       QImage::Format_RGB888);
    Picture picture;
    picture.frames = whole.copy(0, image->framesTop, std::max(image->contentWidth, 1),
                                image->height - image->framesTop);
    if (picture.frames.isNull()) {
        return Fail(PreviewText(QT_TRANSLATE_NOOP("Preview", "the picture is too large to show")));
    }
    picture.portLeft = image->portLeft;
    picture.every = static_cast<int>(image->every);
    const bool rgbw = !h.ports.empty() && h.ports[0].rgbw;
    picture.figures =
        QCoreApplication::translate("Preview", "%1 frames, %2 ports, %3 pixels per port, %4, %5")
            .arg(h.frameCount)
            .arg(h.portCount)
            .arg(Q(PixelsPerPortText(h)))
            .arg(rgbw ? QStringLiteral("RGBW") : QStringLiteral("RGB"))
            .arg(h.ports.empty() ? QString() : Q(IcTypeName(h.ports[0].icCode)));
    if (image->every > 1) {
        picture.figures +=
            QCoreApplication::translate("Preview", ", a row every %1 frames").arg(image->every);
    }
    return picture;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(Options{}, parent) {}

MainWindow::MainWindow(Options options, QWidget* parent)
    : QDialog(parent), m_options(std::move(options)), m_recorder(*this, m_options.recorder) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(AppIcon());
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    BuildControls();
    FillLists();

    m_hotKeyChoice = StoredHotKeys();
    GrabHotKeys(true);
}

MainWindow::~MainWindow() { Shutdown(); }

void MainWindow::BuildControls() {
    // Created in tab order.
    m_capture = NewButton(tr("Cpature"), "captureButton");
    m_cancel = NewButton(tr("Cancel"), "cancelButton");
    QLabel* ipLabel = NewLabel(tr("IP address："), "ipLabel");
    m_ip = new QComboBox;
    m_ip->setObjectName(QStringLiteral("ipCombo"));
    m_refresh = NewButton(tr("Refresh"), "refreshAdaptersButton");
    m_parse = NewButton(tr("Parse"), "parseButton");
    QGroupBox* localBox = NewGroup(tr("Local network"), "localNetworkBox");
    m_pause = NewButton(tr("Pause"), "pauseButton");
    m_stop = NewButton(tr("Stop"), "stopButton");
    QGroupBox* paramBox = NewGroup(tr("Parameters"), "parametersBox");
    QGroupBox* logBox = NewGroup(tr("Log"), "logBox");
    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("logPane"));
    m_icType = new QComboBox;
    m_icType->setObjectName(QStringLiteral("icTypeCombo"));
    QLabel* icLabel = NewLabel(tr("IC Type:"), "icTypeLabel");
    m_universes = new QComboBox;
    m_universes->setObjectName(QStringLiteral("universesCombo"));
    QLabel* universesLabel = NewLabel(tr("Universes/Port:"), "universesLabel");
    QLabel* frameNumLabel = NewLabel(tr("Current frame num:"), "currentFrameLabel");
    m_frameDisplay = NewLabel(QString(), "frameDisplay");
    m_elapsedDisplay = NewLabel(QString(), "elapsedDisplay");
    QLabel* captureFramesLabel = NewLabel(tr("Cpature Frames:"), "captureFramesLabel");
    m_captureFrames = new QLineEdit;
    m_captureFrames->setObjectName(QStringLiteral("captureFramesEdit"));
    m_rgbw = new QCheckBox(tr("RGBW"));
    m_rgbw->setObjectName(QStringLiteral("rgbwCheck"));
    QLabel* durationLabel = NewLabel(tr("Duration (mm:ss):"), "durationLabel");
    m_duration = new QLineEdit;
    m_duration->setObjectName(QStringLiteral("durationEdit"));
    QLabel* startLabel = NewLabel(tr("Start:"), "startLabel");
    m_start = new QComboBox;
    m_start->setObjectName(QStringLiteral("startCombo"));
    QLabel* startUniverseLabel = NewLabel(tr("Universe"), "startUniverseLabel");
    m_startUniverse = NewSpin("startUniverseSpin", 0, 32767);
    QLabel* startChannelLabel = NewLabel(tr("Channel"), "startChannelLabel");
    m_startChannel = NewSpin("startChannelSpin", 1, 512);
    QLabel* startValueLabel = NewLabel(tr("Value"), "startValueLabel");
    m_startValue = NewSpin("startValueSpin", 0, 255);
    m_stopWhenReleased = new QCheckBox(tr("Stop when released"));
    m_stopWhenReleased->setObjectName(QStringLiteral("stopWhenReleasedCheck"));
    m_triggerState = NewLabel(QString(), "triggerState");
    QLabel* firstUniverseLabel = NewLabel(tr("First universe:"), "firstUniverseLabel");
    m_firstUniverse = NewSpin("firstUniverseSpin", 0, 32767);
    QLabel* universeListLabel = NewLabel(tr("Universes:"), "universeListLabel");
    m_universeList = new QLineEdit;
    m_universeList->setObjectName(QStringLiteral("universeListEdit"));
    QGroupBox* inputBox = NewGroup(tr("Live input"), "inputBox");
    m_inputView = new QTableWidget(0, kInputColumns);
    m_inputView->setObjectName(QStringLiteral("inputView"));
    m_clearInput = new QPushButton(tr("Clear"));
    m_clearInput->setObjectName(QStringLiteral("clearInputButton"));
    m_clearInput->setToolTip(tr("Forget the rows; senders still sending come back at once."));
    m_channelLabel =
        NewLabel(tr("Select a row to see its universe's 512 channels."), "channelLabel");
    m_channelGrid = new QTableWidget(kGridRows, kGridColumns);
    m_channelGrid->setObjectName(QStringLiteral("channelGrid"));

    m_capture->setDefault(true);
    m_universes->setEditable(true);
    m_universes->setInsertPolicy(QComboBox::NoInsert);
    m_log->setReadOnly(true);
    // Long lines wrap at the pane's width: the recording check is read without scrolling.
    m_log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_log->setTabChangesFocus(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frameDisplay->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_frameDisplay->setMinimumWidth(120);
    m_elapsedDisplay->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_elapsedDisplay->setMinimumWidth(60);
    m_icType->setMinimumWidth(120);
    m_ip->setMinimumWidth(180);
    // Long descriptions show in the open list; they do not widen the window.
    m_ip->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_duration->setPlaceholderText(tr("none"));
    m_duration->setMaximumWidth(90);
    m_universeList->setPlaceholderText(tr("all, e.g. 100-102,200"));
    m_universeList->setToolTip(
        tr("Only these universes are recorded; in ascending order they fill port 1, then port "
           "2, and so on. Empty: every universe from the first universe on."));
    m_firstUniverse->setToolTip(
        tr("Port 1 begins with this universe; lower ones are not recorded."));
    m_start->addItems({tr("On Capture"), tr("First light"), tr("Channel")});
    m_startValue->setValue(StartTrigger{}.value);
    m_inputView->setHorizontalHeaderLabels(
        {tr("Universe"), tr("Recorded"), tr("Protocol"), tr("Sent as"), tr("Source"), tr("Name"),
         tr("Priority"), tr("Packets/s"), tr("Frames/s"), tr("Last seen"), tr("Level"), tr("CID")});
    m_inputView->verticalHeader()->hide();
    m_inputView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_inputView->horizontalHeader()->setStretchLastSection(true);
    m_inputView->setColumnWidth(kColSource, 110);
    m_inputView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_inputView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_inputView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_inputView->setItemDelegateForColumn(kColLevel, new LevelDelegate(m_inputView));
    m_channelGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_channelGrid->setSelectionMode(QAbstractItemView::NoSelection);
    m_channelGrid->horizontalHeader()->setDefaultSectionSize(
        fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6);
    m_channelGrid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    QStringList gridColumns;
    for (int c = 1; c <= kGridColumns; ++c) gridColumns << QString::number(c);
    QStringList gridRows;
    for (int r = 0; r < kGridRows; ++r) gridRows << QString::number(r * kGridColumns + 1);
    m_channelGrid->setHorizontalHeaderLabels(gridColumns);
    m_channelGrid->setVerticalHeaderLabels(gridRows);
    m_channelGrid->hide();
    m_pixelLabel = NewLabel(tr("What the LEDs show, a strip per port:"), "pixelLabel");
    m_pixelStrips = NewLabel(QString(), "pixelStrips");
    m_pixelStrips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pixelLabel->hide();
    m_pixelStrips->hide();

    auto* localLayout = new QHBoxLayout(localBox);
    localLayout->addWidget(ipLabel);
    localLayout->addWidget(m_ip, 1);
    localLayout->addWidget(m_refresh);

    auto* params = new QGridLayout(paramBox);
    params->addWidget(icLabel, 0, 0);
    params->addWidget(m_icType, 0, 1);
    params->addWidget(m_rgbw, 0, 2);
    params->addWidget(universesLabel, 1, 0);
    params->addWidget(m_universes, 1, 1);
    params->addWidget(firstUniverseLabel, 1, 2);
    params->addWidget(m_firstUniverse, 1, 3);
    auto* list = new QHBoxLayout;
    list->addWidget(universeListLabel);
    list->addWidget(m_universeList, 1);
    params->addLayout(list, 1, 4);
    params->addWidget(captureFramesLabel, 2, 0);
    params->addWidget(m_captureFrames, 2, 1);
    params->addWidget(durationLabel, 2, 2);
    params->addWidget(m_duration, 2, 3);
    params->addWidget(startLabel, 3, 0);
    params->addWidget(m_start, 3, 1);
    auto* trigger = new QHBoxLayout;
    for (QWidget* field : std::initializer_list<QWidget*>{
             startUniverseLabel, m_startUniverse, startChannelLabel, m_startChannel,
             startValueLabel, m_startValue, m_stopWhenReleased}) {
        trigger->addWidget(field);
    }
    trigger->addStretch(1);
    params->addLayout(trigger, 3, 2, 1, 3);
    params->addWidget(frameNumLabel, 4, 0);
    params->addWidget(m_frameDisplay, 4, 1);
    params->addWidget(m_elapsedDisplay, 4, 2, 1, 2);
    params->addWidget(m_triggerState, 4, 4);
    params->setColumnStretch(4, 1);

    auto* inputLayout = new QVBoxLayout(inputBox);
    auto* inputTop = new QHBoxLayout;
    inputTop->addWidget(m_channelLabel, 1);
    inputTop->addWidget(m_clearInput);
    inputLayout->addLayout(inputTop);
    auto* inputViews = new QHBoxLayout;
    inputViews->addWidget(m_inputView, 3);
    inputViews->addWidget(m_channelGrid, 2);
    inputLayout->addLayout(inputViews);
    inputLayout->addWidget(m_pixelLabel);
    inputLayout->addWidget(m_pixelStrips);

    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(m_log);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {m_parse, m_capture, m_pause, m_stop, m_cancel}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(localBox);
    layout->addWidget(paramBox);
    layout->addWidget(inputBox, 3);
    layout->addWidget(logBox, 2);
    layout->addLayout(buttons);
    resize(760, 640);

    const QWidget* order[] = {m_capture,
                              m_cancel,
                              m_ip,
                              m_refresh,
                              m_parse,
                              m_pause,
                              m_stop,
                              m_log,
                              m_icType,
                              m_universes,
                              m_firstUniverse,
                              m_universeList,
                              m_captureFrames,
                              m_duration,
                              m_rgbw,
                              m_start,
                              m_startUniverse,
                              m_startChannel,
                              m_startValue,
                              m_stopWhenReleased,
                              m_inputView};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
    m_capture->setFocus();

    connect(m_parse, &QPushButton::clicked, this, &MainWindow::Parse);
    connect(m_clearInput, &QPushButton::clicked, this, [this] {
        m_recorder.ClearInput();
        m_inputView->clearSelection();
        ShowInput();
    });
    connect(m_inputView, &QTableWidget::itemSelectionChanged, this, &MainWindow::SelectInputRow);
    connect(m_capture, &QPushButton::clicked, this, &MainWindow::Capture);
    connect(m_pause, &QPushButton::clicked, this, &MainWindow::Pause);
    connect(m_stop, &QPushButton::clicked, this, &MainWindow::Stop);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Every pick of the user, even of the line already selected; never a programmatic one.
    connect(m_ip, &QComboBox::activated, this, &MainWindow::PickAdapter);
    connect(m_icType, &QComboBox::currentIndexChanged, this, &MainWindow::ApplySettings);
    connect(m_universes, &QComboBox::currentIndexChanged, this, &MainWindow::ApplySettings);
    connect(m_universes, &QComboBox::editTextChanged, this, &MainWindow::ApplySettings);
    connect(m_rgbw, &QCheckBox::toggled, this, &MainWindow::ApplySettings);
    connect(m_refresh, &QPushButton::clicked, this, &MainWindow::RefreshAdapters);
    connect(m_start, &QComboBox::currentIndexChanged, this, [this] {
        ShowTriggerFields();
        ApplySettings();
    });
    for (QSpinBox* spin : {m_startUniverse, m_startChannel, m_startValue}) {
        connect(spin, &QSpinBox::valueChanged, this, &MainWindow::ApplySettings);
    }
    connect(m_stopWhenReleased, &QCheckBox::toggled, this, &MainWindow::ApplySettings);
    connect(m_firstUniverse, &QSpinBox::valueChanged, this, &MainWindow::ApplySettings);
    connect(m_universeList, &QLineEdit::textChanged, this, [this] {
        ShowSelectionFields();
        ApplySettings();
    });
    // Ctrl+Q closes as the close box does, asking first when something would be lost.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setObjectName(QStringLiteral("quitShortcut"));
    connect(quit, &QShortcut::activated, this, &MainWindow::reject);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, &MainWindow::CommitData);
    }

    m_autoSelectTimer = new QTimer(this);
    m_autoSelectTimer->setSingleShot(true);
    m_autoSelectTimer->setInterval(kAutoSelectDelayMs);
    connect(m_autoSelectTimer, &QTimer::timeout, this, &MainWindow::PreselectAdapter);
    // Reading the counters never waits for the packet threads.
    m_inputTimer = new QTimer(this);
    m_inputTimer->setInterval(kInputViewMs);
    connect(m_inputTimer, &QTimer::timeout, this, &MainWindow::ShowInput);
    m_finishTimer = new QTimer(this);
    m_finishTimer->setInterval(kFinishTickMs);
    connect(m_finishTimer, &QTimer::timeout, this, [this] {
        if (!m_closed) m_recorder.FinishTick();
    });

    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("contextMenu"));
    m_contextMenu->addAction(tr("关于 Quorvex(&A)..."), this, &MainWindow::ShowAbout);
    m_contextMenu->addAction(tr("Settings…"), this, &MainWindow::ShowSettings);
    m_contextMenu->addAction(tr("Preview a recording…"), this, &MainWindow::PreviewRecording);
    m_saveLast = m_contextMenu->addAction(tr("Save the last recording…"), this,
                                          &MainWindow::SaveLastRecording);
    m_eject = m_contextMenu->addAction(tr("Eject"), this, &MainWindow::Eject);
    m_eject->setVisible(false);
    m_frameBufferMb = StoredFrameBufferMb();
    m_sacnOffset = StoredInt(Stored(), kSacnOffsetKey, 0, 63999, kDefaultSacnOffset);
    m_joinMulticast = Stored().value(QString::fromLatin1(kJoinMulticastKey), false).toBool();
    m_controllerPorts = StoredInt(Stored(), kControllerPortsKey, 0, kMaxRgbPorts, 0);
    m_notesInRecordingFolder =
        Stored().value(QString::fromLatin1(kNotesInRecordingFolderKey), false).toBool();
}

void MainWindow::FillLists() {
    ShowCaptureFrames();
    m_frameDisplay->clear();
    for (const char* name : kIcTypeNames) m_icType->addItem(QString::fromUtf8(name));
    m_icType->setCurrentIndex(kDefaultIcType);
    m_recorder.ListAdapters();
    for (int i = 1; i <= 8; ++i) m_universes->addItem(QString::number(i));
    m_universes->setCurrentIndex(kDefaultUniversesPerPort - 1);
    ShowButtons(m_recorder.Snapshot().buttons);
    RestoreChoices();
    ShowTriggerFields();
    ShowSelectionFields();
    ApplySettings();
    // From here on, what the user changes is kept for the next start.
    const auto store = [this] { StoreChoices(); };
    connect(m_icType, &QComboBox::currentIndexChanged, this, store);
    connect(m_universes, &QComboBox::currentTextChanged, this, store);
    connect(m_rgbw, &QCheckBox::toggled, this, store);
    connect(m_captureFrames, &QLineEdit::editingFinished, this, store);
    connect(m_duration, &QLineEdit::editingFinished, this, store);
    connect(m_start, &QComboBox::currentIndexChanged, this, store);
    for (QSpinBox* spin : {m_startUniverse, m_startChannel, m_startValue}) {
        connect(spin, &QSpinBox::valueChanged, this, store);
    }
    connect(m_stopWhenReleased, &QCheckBox::toggled, this, store);
    connect(m_firstUniverse, &QSpinBox::valueChanged, this, store);
    connect(m_universeList, &QLineEdit::editingFinished, this, store);
    m_autoSelectTimer->start();
    m_inputTimer->start();
    // A recording an earlier run could not save is not forgotten.
    m_recorder.ReportUnsavedRecording();
}

// ---- commands ----

void MainWindow::Parse() {
    if (!ReadSelection(true)) return;
    ApplySettings();
    m_recorder.Parse();
}

void MainWindow::Capture() {
    // A paused recording resumes with the duration it started with.
    if (!m_recorder.Snapshot().paused) {
        if (!ReadSelection(true)) return;
        const std::optional<double> duration = ReadDuration();
        if (!duration) return;
        m_durationSeconds = *duration;
    }
    ApplySettings();
    const std::optional<unsigned> frames = ReadCaptureFrames();
    StoreChoices();
    StoreAdapter();
    m_recorder.Capture(frames);
}

void MainWindow::Pause() { m_recorder.Pause(); }

void MainWindow::Stop() { m_recorder.Stop(); }

void MainWindow::PickAdapter(int index) {
    // Only to tell the user now: the number is used at the next Capture.
    (void)ReadCaptureFrames();
    m_recorder.ChooseAdapter(index);
    StoreAdapter();
    ShowCaptureFrames();
}

void MainWindow::RefreshAdapters() {
    // Re-opening the adapter under a survey or a recording would cut it short.
    if (m_closed || !m_idle) return;
    const std::string current = m_recorder.Snapshot().adapterName;
    m_recorder.ListAdapters();
    // Listing selects the first line: the adapter in use stays selected (and open).
    if (const int index = AdapterIndex(current); index > 0) SelectAdapter(index, current);
}

void MainWindow::PreselectAdapter() {
    if (m_closed) return;
    const std::string remembered =
        Stored().value(QString::fromLatin1(kAdapterKey)).toString().toStdString();
    const int index = AdapterIndex(remembered);
    // A source opened meanwhile (a capture file) is not replaced.
    if (index < 0 || m_recorder.Snapshot().sourceOpen) {
        m_recorder.AutoSelectAdapter();
        return;
    }
    // The user chose it last time: it is opened as when picked, so the live view fills.
    SelectAdapter(index, remembered);
}

int MainWindow::AdapterIndex(const std::string& name) const {
    const std::vector<DeviceEntry> adapters = m_recorder.Snapshot().adapters;
    for (size_t i = 0; i < adapters.size(); ++i) {
        if (!name.empty() && adapters[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

void MainWindow::SelectAdapter(int index, const std::string& name) {
    // No message box: the user did not ask just now. The log says why; Parse asks again.
    if (const Status opened = m_recorder.OpenInterface(name); !opened) Log(opened.error());
    SelectAdapterLine(index);
}

void MainWindow::GrabHotKeys(bool report) {
    m_hotKeys.reset();  // the keys go back to the server before they are grabbed again
    void (MainWindow::*const commands[])() = {&MainWindow::Capture, &MainWindow::Pause,
                                              &MainWindow::Stop};
    std::vector<HotKeys::Key> keys;
    for (size_t i = 0; i < m_hotKeyChoice.size(); ++i) {
        keys.push_back({m_hotKeyChoice[i], [this, command = commands[i]] { HotKey(command); }});
    }
    m_hotKeys = std::make_unique<HotKeys>(this, std::move(keys));
    const QString tips[] = {tr("Capture (%1)"), tr("Pause (%1)"), tr("Stop (%1)")};
    QPushButton* const buttons[] = {m_capture, m_pause, m_stop};
    std::vector<QKeyCombination> windowOnly;
    QStringList held;
    for (size_t i = 0; i < m_hotKeyChoice.size(); ++i) {
        buttons[i]->setToolTip(tips[i].arg(KeyText(m_hotKeyChoice[i])));
        switch (m_hotKeys->ReachOf(i)) {
            case HotKeys::Reach::SystemWide:
                break;
            case HotKeys::Reach::Held:
                held << KeyText(m_hotKeyChoice[i]);
                break;
            case HotKeys::Reach::WindowOnly:
                windowOnly.push_back(m_hotKeyChoice[i]);
                break;
        }
    }
    if (!report) return;
    if (!windowOnly.empty()) {
        Log(tr(kHotKeysUnavailableFor).arg(ShortKeyList(windowOnly)).toStdString());
    }
    if (!held.isEmpty()) Log(tr(kHotKeysHeld).arg(held.join(QStringLiteral(", "))).toStdString());
}

void MainWindow::HotKey(void (MainWindow::*command)()) {
    // A command under an open Save As or message box would run the recorder re-entrantly.
    if (m_closed || QApplication::activeModalWidget()) return;
    (this->*command)();
}

std::optional<unsigned> MainWindow::ReadCaptureFrames() {
    const std::optional<unsigned> frames = ParseUnsigned(m_captureFrames->text());
    if (frames) {
        m_captureFramesValue = *frames;
        return frames;
    }
    MessageBox(tr(kUnsignedNeeded));
    m_captureFrames->setFocus();
    m_captureFrames->selectAll();
    return std::nullopt;
}

std::optional<UniverseSelection> MainWindow::ReadSelection(bool tell) {
    UniverseSelection selection;
    selection.first = m_firstUniverse->value();
    const QString text = m_universeList->text().trimmed();
    if (!text.isEmpty()) {
        std::string error;
        const auto list = ParseUniverseList(text.toStdString(), &error);
        if (!list) {
            if (tell) {
                MessageBox(tr("Universes: %1").arg(Q(error)));
                m_universeList->setFocus();
                m_universeList->selectAll();
            }
            return std::nullopt;
        }
        selection = UniverseSelection{0, *list};
    }
    m_selection = selection;
    return selection;
}

std::optional<double> MainWindow::ReadDuration() {
    const QString text = m_duration->text().trimmed();
    if (text.isEmpty()) return 0.0;
    if (const auto seconds = ParseDurationText(text.toStdString())) return *seconds;
    MessageBox(tr(kDurationNeeded));
    m_duration->setFocus();
    m_duration->selectAll();
    return std::nullopt;
}

// ---- settings ----

int MainWindow::UniversesPerPort() const {
    int sel = m_universes->currentIndex();
    // Text typed over the selected line means the user typed: that text counts.
    if (sel >= 0 && m_universes->currentText() != m_universes->itemText(sel)) sel = -1;
    if (sel >= 0 && sel < 8) return sel + 1;
    const QString text = m_universes->currentText();
    if (text.size() == 1 && text[0] >= QLatin1Char('1') && text[0] <= QLatin1Char('8')) {
        return text[0].unicode() - '0';
    }
    return 0;
}

RecordingSettings MainWindow::CurrentSettings() const {
    RecordingSettings s;
    s.icTypeIndex = m_icType->currentIndex();
    s.universesPerPort = UniversesPerPort();
    s.rgbw = m_rgbw->isChecked();
    s.frameBufferMb = m_frameBufferMb;
    s.sacnOffset = m_sacnOffset;
    s.joinMulticast = m_joinMulticast;
    s.durationSeconds = m_durationSeconds;
    s.start.kind = static_cast<StartTrigger::Kind>(std::max(m_start->currentIndex(), 0));
    s.start.universe = m_startUniverse->value();
    s.start.channel = m_startChannel->value();
    s.start.value = m_startValue->value();
    s.start.stopWhenReleased = m_stopWhenReleased->isChecked();
    // A list being typed counts once it is one; until then the last good one does.
    s.selection = m_selection;
    s.controllerPorts = m_controllerPorts;
    s.notesInRecordingFolder = m_notesInRecordingFolder;
    return s;
}

void MainWindow::ApplySettings() {
    (void)ReadSelection(false);
    m_recorder.ApplySettings(CurrentSettings());
}

namespace {
// QSettings keys of the choices kept between runs.
constexpr char kIcTypeKey[] = "icType";
constexpr char kUniversesKey[] = "universesPerPort";
constexpr char kRgbwKey[] = "rgbw";
constexpr char kCaptureFramesKey[] = "captureFrames";
constexpr char kDurationKey[] = "duration";
constexpr char kStartKindKey[] = "start/kind";
constexpr char kStartUniverseKey[] = "start/universe";
constexpr char kStartChannelKey[] = "start/channel";
constexpr char kStartValueKey[] = "start/value";
constexpr char kStopWhenReleasedKey[] = "start/stopWhenReleased";
constexpr char kFirstUniverseKey[] = "firstUniverse";
constexpr char kUniverseListKey[] = "universeList";

QString Key(const char* key) { return QString::fromLatin1(key); }
}  // namespace

void MainWindow::RestoreChoices() {
    const QSettings st = Stored();
    const int icTypes = static_cast<int>(std::size(kIcTypeNames));
    m_icType->setCurrentIndex(StoredInt(st, kIcTypeKey, 0, icTypes - 1, kDefaultIcType));
    m_universes->setCurrentIndex(StoredInt(st, kUniversesKey, 1, 8, kDefaultUniversesPerPort) - 1);
    m_rgbw->setChecked(st.value(Key(kRgbwKey), false).toBool());
    if (const auto frames = ParseUnsigned(st.value(Key(kCaptureFramesKey)).toString())) {
        m_captureFramesValue = *frames;
        ShowCaptureFrames();
    }
    const QString duration = st.value(Key(kDurationKey)).toString();
    if (ParseDurationText(duration.toStdString())) m_duration->setText(duration);
    m_start->setCurrentIndex(StoredInt(st, kStartKindKey, 0, m_start->count() - 1, 0));
    const StartTrigger fallback;
    m_startUniverse->setValue(StoredInt(st, kStartUniverseKey, m_startUniverse->minimum(),
                                        m_startUniverse->maximum(), fallback.universe));
    m_startChannel->setValue(StoredInt(st, kStartChannelKey, m_startChannel->minimum(),
                                       m_startChannel->maximum(), fallback.channel));
    m_startValue->setValue(StoredInt(st, kStartValueKey, m_startValue->minimum(),
                                     m_startValue->maximum(), fallback.value));
    m_stopWhenReleased->setChecked(st.value(Key(kStopWhenReleasedKey), false).toBool());
    m_firstUniverse->setValue(StoredInt(st, kFirstUniverseKey, 0, 32767, 0));
    const QString list = st.value(Key(kUniverseListKey)).toString();
    std::string error;
    if (ParseUniverseList(list.toStdString(), &error)) m_universeList->setText(list);
}

void MainWindow::StoreChoices() {
    QSettings st = Stored();
    st.setValue(Key(kIcTypeKey), m_icType->currentIndex());
    // Half-typed or wrong text is not kept: the next start shows the last good choice.
    if (const int perPort = UniversesPerPort(); perPort > 0) {
        st.setValue(Key(kUniversesKey), perPort);
    }
    st.setValue(Key(kRgbwKey), m_rgbw->isChecked());
    st.setValue(Key(kCaptureFramesKey),
                ParseUnsigned(m_captureFrames->text()).value_or(m_captureFramesValue));
    const QString duration = m_duration->text().trimmed();
    if (duration.isEmpty() || ParseDurationText(duration.toStdString())) {
        st.setValue(Key(kDurationKey), duration);
    }
    st.setValue(Key(kStartKindKey), m_start->currentIndex());
    st.setValue(Key(kStartUniverseKey), m_startUniverse->value());
    st.setValue(Key(kStartChannelKey), m_startChannel->value());
    st.setValue(Key(kStartValueKey), m_startValue->value());
    st.setValue(Key(kStopWhenReleasedKey), m_stopWhenReleased->isChecked());
    st.setValue(Key(kFirstUniverseKey), m_firstUniverse->value());
    const QString list = m_universeList->text().trimmed();
    std::string error;
    if (list.isEmpty() || ParseUniverseList(list.toStdString(), &error)) {
        st.setValue(Key(kUniverseListKey), list);
    }
}

void MainWindow::StoreAdapter() {
    const std::string name = m_recorder.Snapshot().adapterName;
    if (!name.empty()) Stored().setValue(Key(kAdapterKey), Q(name));
}

// ---- closing ----

void MainWindow::reject() {
    if (!m_closed && !ReadyToClose(false)) return;
    QDialog::reject();
}

void MainWindow::done(int result) {
    Shutdown();
    QDialog::done(result);
}

QAbstractButton* MainWindow::Ask(QMessageBox& box) {
    if (m_options.logToStderr) {
        std::fprintf(stderr, "Question: %s\n", box.text().toUtf8().constData());
        std::fflush(stderr);
    }
    if (questionHook) return questionHook(box);
    box.exec();
    return box.clickedButton();
}

bool MainWindow::ReadyToClose(bool sessionEnding) {
    const RecorderStatus status = m_recorder.Snapshot();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvex"), QString(),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("closeQuestion"));
    if (status.phase == Phase::Surveying) {
        box.setText(
            tr("Parse is still looking for the show's universes. Stop it and close "
               "Quorvex?"));
        QPushButton* keep = box.addButton(tr("Keep parsing"), QMessageBox::RejectRole);
        box.addButton(tr("Stop and close"), QMessageBox::AcceptRole);
        box.setDefaultButton(keep);
        box.setEscapeButton(keep);
        return Ask(box) != keep;
    }
    const bool recording = status.phase == Phase::Recording || status.phase == Phase::Paused ||
                           status.phase == Phase::Stopping || status.phase == Phase::Halted;
    if (recording) {
        box.setText(tr("A recording is running: %1 frames so far. Closing Quorvex ends it.")
                        .arg(status.framesWritten));
        box.setInformativeText(
            tr("Discard does not save it: its frames stay in %1 until the next Capture moves "
               "them aside.")
                .arg(Q(status.workingFile)));
        QPushButton* keep = box.addButton(tr("Keep recording"), QMessageBox::RejectRole);
        // Saving needs the finish step and Save As, which a session that ends cannot wait for.
        QPushButton* save =
            sessionEnding ? nullptr : box.addButton(tr("Stop and save"), QMessageBox::AcceptRole);
        box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
        box.setDefaultButton(keep);
        box.setEscapeButton(keep);
        QAbstractButton* answer = Ask(box);
        if (answer == keep || !answer) return false;
        if (answer == save) {
            // The window closes once the finish step has saved it.
            m_closeAfterFinish = true;
            if (status.phase != Phase::Stopping) m_recorder.Stop();
            return false;
        }
        return true;
    }
    if (status.phase != Phase::Idle || sessionEnding) return true;
    const auto kept = m_recorder.KeptRecording();
    if (!kept) return true;
    box.setText(tr("The last recording (%1 frames) was not saved.").arg(kept->frames));
    box.setInformativeText(
        tr("It is kept in %1 until the next Capture moves it aside.").arg(Q(kept->path)));
    QPushButton* save = box.addButton(tr("Save…"), QMessageBox::AcceptRole);
    box.addButton(tr("Close without saving"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    QAbstractButton* answer = Ask(box);
    if (answer == cancel || !answer) return false;
    if (answer != save) return true;
    SaveLastRecording();
    // Closed only once it is saved; a cancelled Save As keeps the window open.
    return !m_recorder.KeptRecording();
}

void MainWindow::CommitData(QSessionManager& manager) {
    if (m_closed) return;
    const Phase phase = m_recorder.Snapshot().phase;
    if (phase == Phase::Idle || phase == Phase::Finishing) return;
    if (manager.allowsInteraction()) {
        const bool close = ReadyToClose(true);
        manager.release();
        if (!close) {
            manager.cancel();
            return;
        }
    }
    // Whatever comes next, the recording is kept with a header that counts its frames.
    done(QDialog::Rejected);
}

void MainWindow::Shutdown() {
    if (m_closed) return;
    m_closed = true;
    m_autoSelectTimer->stop();
    m_finishTimer->stop();
    m_inputTimer->stop();
    m_recorder.Close();
    m_hotKeys.reset();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    m_saveLast->setEnabled(m_idle && m_recorder.KeptRecording().has_value());
    m_contextMenu->exec(event->globalPos());
}

void MainWindow::SaveLastRecording() {
    if (m_closed || !m_idle) return;
    const auto kept = m_recorder.KeptRecording();
    if (!kept) {
        MessageBox(tr("There is no unsaved recording."));
        return;
    }
    const RecorderStatus status = m_recorder.Snapshot();
    const std::string folder = QFileInfo(Q(kept->path)).absolutePath().toStdString();
    const auto chosen =
        RunSaveAs({DefaultSaveName(status.sceneNumber), folder, kept->frames, status.sceneNumber});
    if (!chosen || chosen->empty()) return;
    const auto saved = m_recorder.SaveKeptRecording(*chosen);
    if (!saved) {
        MessageBox(Q(saved.error()));
        return;
    }
    AfterSaved(*saved);
}

void MainWindow::ShowAbout() {
    QDialog about(this);
    about.setWindowTitle(tr("关于 Quorvex"));
    auto* icon = new QLabel(&about);
    icon->setPixmap(windowIcon().pixmap(48, 48));
    auto* version = new QLabel(tr("Quorvex，版本 %1").arg(QStringLiteral(QUORVEX_VERSION)), &about);
    auto* copyright = new QLabel(tr("Copyright (C) 2026 Quorvex"), &about);
    auto* ok = new QPushButton(tr("确定"), &about);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
    auto* grid = new QGridLayout(&about);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(copyright, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setHorizontalSpacing(16);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    about.exec();
}

void MainWindow::ShowSettings() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("settingsDialog"));
    dialog.setWindowTitle(tr("Settings"));
    auto* buffer = new QSpinBox(&dialog);
    buffer->setObjectName(QStringLiteral("frameBufferSpin"));
    buffer->setRange(1, kMaxFrameBufferMb);
    buffer->setValue(m_frameBufferMb);
    auto* form = new QFormLayout(&dialog);
    form->addRow(tr("Frame buffer (MB)"), buffer);
    auto* offset = new QSpinBox(&dialog);
    offset->setObjectName(QStringLiteral("sacnOffsetSpin"));
    offset->setRange(0, 63999);
    offset->setValue(m_sacnOffset);
    offset->setToolTip(tr("sACN universe N is recorded as universe N minus this; used at Parse"));
    form->addRow(tr("sACN offset"), offset);
    auto* join =
        new QCheckBox(tr("Join the multicast groups of the sACN universes found"), &dialog);
    join->setObjectName(QStringLiteral("joinMulticastCheck"));
    join->setChecked(m_joinMulticast);
    join->setToolTip(
        tr("For network switches with IGMP snooping, which send multicast only to "
           "ports that joined it"));
    form->addRow(join);
    auto* controllerPorts = new QSpinBox(&dialog);
    controllerPorts->setObjectName(QStringLiteral("controllerPortsSpin"));
    controllerPorts->setRange(0, kMaxRgbPorts);
    controllerPorts->setSpecialValueText(tr("not checked"));
    controllerPorts->setValue(m_controllerPorts);
    controllerPorts->setToolTip(
        tr("The outputs of your controller: Parse and Capture say when a recording needs more"));
    form->addRow(tr("Controller ports"), controllerPorts);
    auto* notesAside = new QCheckBox(
        tr("Keep the notes (.RGB.json) in the recordings folder, not beside the recording"),
        &dialog);
    notesAside->setObjectName(QStringLiteral("notesInRecordingFolderCheck"));
    notesAside->setChecked(m_notesInRecordingFolder);
    form->addRow(notesAside);
    const QString keyLabels[] = {tr("Capture key"), tr("Pause key"), tr("Stop key")};
    const char* keyNames[] = {"captureKeyEdit", "pauseKeyEdit", "stopKeyEdit"};
    std::array<QKeySequenceEdit*, 3> keyEdits{};
    for (size_t i = 0; i < keyEdits.size(); ++i) {
        auto* edit = new QKeySequenceEdit(QKeySequence(m_hotKeyChoice[i]), &dialog);
        edit->setObjectName(QString::fromLatin1(keyNames[i]));
        // One key with its modifiers: the first of what was typed.
        connect(edit, &QKeySequenceEdit::editingFinished, edit, [edit] {
            if (edit->keySequence().count() > 1) edit->setKeySequence(edit->keySequence()[0]);
        });
        form->addRow(keyLabels[i], edit);
        keyEdits[i] = edit;
    }
    const auto chosen = [&] {
        HotKeyChoice keys = m_hotKeyChoice;
        for (size_t i = 0; i < keys.size(); ++i) {
            // A field left empty keeps its key.
            if (!keyEdits[i]->keySequence().isEmpty()) keys[i] = keyEdits[i]->keySequence()[0];
        }
        return keys;
    };
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (const std::optional<QString> problem = HotKeyProblem(chosen())) {
            MessageBox(*problem, &dialog);
            return;
        }
        dialog.accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    // Released meanwhile, so that the keys in use can be typed into the fields.
    m_hotKeys.reset();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (m_closed) return;
    const HotKeyChoice keys = accepted ? chosen() : m_hotKeyChoice;
    const bool keysChanged = keys != m_hotKeyChoice;
    m_hotKeyChoice = keys;
    GrabHotKeys(keysChanged);
    if (!accepted) return;
    StoreHotKeys(m_hotKeyChoice);
    // Taken by the next recording; one in progress keeps the buffer it started with.
    m_frameBufferMb = buffer->value();
    StoreFrameBufferMb(m_frameBufferMb);
    m_sacnOffset = offset->value();
    m_joinMulticast = join->isChecked();
    m_controllerPorts = controllerPorts->value();
    m_notesInRecordingFolder = notesAside->isChecked();
    QSettings stored = Stored();
    stored.setValue(QString::fromLatin1(kSacnOffsetKey), m_sacnOffset);
    stored.setValue(QString::fromLatin1(kJoinMulticastKey), m_joinMulticast);
    stored.setValue(QString::fromLatin1(kControllerPortsKey), m_controllerPorts);
    stored.setValue(QString::fromLatin1(kNotesInRecordingFolderKey), m_notesInRecordingFolder);
    ApplySettings();
}

void MainWindow::PreviewRecording() {
    QFileDialog dialog(this, tr("Preview a recording"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(tr("rgb文件(*.RGB)"));
    const std::string folder = m_recorder.Snapshot().recordingFolder;
    if (!folder.empty()) dialog.setDirectory(Q(folder));
    std::optional<std::string> chosen;
    if (openRecordingHook) {
        chosen = openRecordingHook(dialog);
    } else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        chosen = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    }
    if (chosen && !chosen->empty()) ShowPreview(*chosen, true);
}

void MainWindow::ShowPreview(const std::string& path, bool asked) {
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
    const Result<Picture> picture = PictureOf(path);
    if (!picture) {
        // Right after a save the user did not ask: the log tells.
        if (asked) {
            MessageBox(tr("Cannot preview %1: %2.").arg(name, Q(picture.error())));
        } else {
            Log(tr("Cannot preview %1: %2").arg(name, Q(picture.error())).toStdString());
        }
        return;
    }
    if (!m_preview) m_preview = new PreviewDialog(this);
    m_preview->ShowPicture(tr("Preview – %1").arg(name), picture->frames, picture->figures,
                           picture->portLeft, picture->every);
    // After a save the main window keeps the focus, for its hot keys.
    m_preview->setAttribute(Qt::WA_ShowWithoutActivating, !asked);
    m_preview->show();
    m_preview->raise();
    if (asked) m_preview->activateWindow();
}

void MainWindow::Deliver(Delivery delivery) {
    // The data crosses threads under a standard mutex; Qt's queue only wakes the window
    // thread, with nothing of ours in the event (invisible to ThreadSanitizer).
    {
        std::lock_guard lock(m_inboxMutex);
        m_inbox.push_back(std::move(delivery));
        if (m_wakePending) return;
        m_wakePending = true;
    }
    QMetaObject::invokeMethod(this, "DrainInbox", Qt::QueuedConnection);
}

void MainWindow::DrainInbox() {
    {
        std::lock_guard lock(m_inboxMutex);
        m_wakePending = false;  // a modal box below runs a nested loop that must be woken
    }
    for (;;) {
        Delivery d;
        {
            std::lock_guard lock(m_inboxMutex);
            if (m_inbox.empty()) return;
            d = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        switch (d.kind) {
            case Delivery::Line:
                AppendLine(d.text);
                break;
            case Delivery::Wake:
                if (m_closed) break;
                // The survey report reads Universes/Port as it is now.
                ApplySettings();
                m_recorder.RunPending();
                break;
        }
    }
}

// ---- recorder host ----

void MainWindow::Log(const std::string& line) {
    // Queued also from the window thread: lines keep the order they were made in.
    Deliver({Delivery::Line, line});
}

void MainWindow::WakeControl() { Deliver({Delivery::Wake, {}}); }

void MainWindow::SetFinishTicks(bool on) {
    if (on && !m_closed) {
        m_finishTimer->start();
    } else {
        m_finishTimer->stop();
    }
}

bool MainWindow::FinishTicksOn() const { return m_finishTimer->isActive(); }

bool MainWindow::AutoSelectPending() const { return m_autoSelectTimer->isActive(); }

void MainWindow::OnEvent(const RecorderEvent& event) {
    if (const auto* e = std::get_if<PhaseChanged>(&event)) {
        m_idle = e->phase == Phase::Idle && !e->paused;
        m_refresh->setEnabled(m_idle);
        ShowButtons(e->buttons);
    } else if (const auto* e = std::get_if<Alert>(&event)) {
        if (!m_closed) MessageBox(Q(Printable(e->text, true)));
    } else if (const auto* e = std::get_if<AdaptersListed>(&event)) {
        ShowAdapters(*e);
    } else if (const auto* e = std::get_if<AdapterSelected>(&event)) {
        SelectAdapterLine(e->index);
        ShowCaptureFrames();
    } else if (const auto* e = std::get_if<FramesWritten>(&event)) {
        ShowFramesWritten(*e);
    } else if (const auto* e = std::get_if<RecordingFinished>(&event)) {
        if (!e->savedPath.empty()) AfterSaved(e->savedPath);
        if (m_closeAfterFinish) {
            m_closeAfterFinish = false;
            // Closed as asked once it is saved; a cancelled Save As keeps the window open.
            if (!e->savedPath.empty()) {
                QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
            }
        }
    }
    // SurveyFinished: the recorder has logged what the user sees.
}

std::optional<std::string> MainWindow::AskSavePath(const SaveRequest& request) {
    return RunSaveAs(request);
}

std::optional<std::string> MainWindow::RunSaveAs(const SaveRequest& request) {
    QFileDialog dialog(this, tr("Save As"));
    // Qt's own dialog matches the name filter in any letter case; native ones may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("RGB"));
    dialog.setNameFilter(tr("rgb文件(*.RGB)"));
    // The folder saved into last (a card, a show folder), while it is there.
    QString folder = Stored().value(QString::fromLatin1(kSaveFolderKey)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = Q(request.folder);
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(Q(FreeSaveName(folder.toStdString(), request.scene)));
    // Removable media first, where a recording is carried to the controller.
    QList<QUrl> places;
    for (const Mount& medium : CurrentRemovableMounts()) {
        places << QUrl::fromLocalFile(Q(medium.folder));
    }
    for (const QString& place : {QDir::homePath(), Q(request.folder)}) {
        if (!place.isEmpty()) places << QUrl::fromLocalFile(place);
    }
    dialog.setSidebarUrls(places);
    // Wide enough for names, sizes and dates side by side, within a 1280x800 screen.
    const QSize screen =
        this->screen() ? this->screen()->availableGeometry().size() : QSize(1280, 800);
    dialog.resize(QSize(960, 600).boundedTo(screen - QSize(40, 60)));
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        view->header()->setStretchLastSection(false);
        view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    std::optional<std::string> chosen;
    if (saveAsHook) {
        chosen = saveAsHook(dialog);
    } else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        chosen = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    }
    if (chosen && !chosen->empty()) {
        Stored().setValue(
            QString::fromLatin1(kSaveFolderKey),
            QFileInfo(QFile::decodeName(QByteArray::fromStdString(*chosen))).absolutePath());
    }
    return chosen;
}

void MainWindow::AfterSaved(const std::string& path) {
    // The recorder has logged the outcome; the picture follows its step, as drawing reads the
    // file.
    QTimer::singleShot(0, this, [this, path] {
        if (!m_closed) ShowPreview(path, false);
    });
    const auto medium = MountHolding(CurrentRemovableMounts(), path);
    m_eject->setVisible(false);
    m_ejectDevice.clear();
    if (!medium || QStandardPaths::findExecutable(QStringLiteral("udisksctl")).isEmpty()) return;
    m_ejectDevice = medium->device;
    m_eject->setText(tr("Eject %1").arg(Q(MediumName(*medium))));
    m_eject->setVisible(true);
    Log(tr("To eject %1, right-click the window and choose \"Eject %1\".")
            .arg(Q(MediumName(*medium)))
            .toStdString());
}

void MainWindow::Eject() {
    if (m_ejectDevice.empty()) return;
    const QString device = Q(m_ejectDevice);
    m_eject->setVisible(false);
    m_ejectDevice.clear();
    // udisks2, as the desktop's file manager does it: unmount, then power the drive off.
    auto* unmount = new QProcess(this);
    connect(unmount, &QProcess::finished, this, [this, unmount, device](int code) {
        unmount->deleteLater();
        if (code != 0) {
            Log(tr("Cannot eject %1: %2")
                    .arg(device, QString::fromLocal8Bit(unmount->readAllStandardError()).trimmed())
                    .toStdString());
            return;
        }
        auto* powerOff = new QProcess(this);
        connect(powerOff, &QProcess::finished, this, [this, powerOff, device] {
            powerOff->deleteLater();
            Log(tr("%1 is ejected: it can be pulled out.").arg(device).toStdString());
        });
        powerOff->start(QStringLiteral("udisksctl"),
                        {QStringLiteral("power-off"), QStringLiteral("--no-user-interaction"),
                         QStringLiteral("-b"), device});
    });
    unmount->start(QStringLiteral("udisksctl"),
                   {QStringLiteral("unmount"), QStringLiteral("--no-user-interaction"),
                    QStringLiteral("-b"), device});
}

// ---- display ----

void MainWindow::AppendLine(const std::string& line) {
    // Names from files and packets reach the log: no control character goes with them.
    const std::string text = Printable(line, true);
    if (m_options.logToStderr) {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
    m_log->appendPlainText(Q(text));
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

void MainWindow::MessageBox(const QString& text, QWidget* parent) {
    if (m_options.logToStderr) {
        std::fprintf(stderr, "Message box: %s\n", text.toUtf8().constData());
        std::fflush(stderr);
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quorvex"), text, QMessageBox::Ok,
                    parent ? parent : this);
    box.exec();
}

void MainWindow::ShowButtons(const ButtonStates& buttons) {
    m_parse->setEnabled(buttons.parse);
    m_capture->setEnabled(buttons.capture);
    m_pause->setEnabled(buttons.pause);
    m_stop->setEnabled(buttons.stop);
}

void MainWindow::ShowCaptureFrames() {
    const QString text = QString::number(m_captureFramesValue);
    if (m_captureFrames->text() != text) m_captureFrames->setText(text);
}

void MainWindow::ShowAdapters(const AdaptersListed& listed) {
    m_ip->clear();
    for (const DeviceEntry& d : listed.adapters) m_ip->addItem(AdapterLine(d));
    SelectAdapterLine(listed.selected);
    ShowCaptureFrames();
}

void MainWindow::SelectAdapterLine(int index) {
    m_ip->setCurrentIndex(index >= 0 && index < m_ip->count() ? index : -1);
}

void MainWindow::ShowFramesWritten(const FramesWritten& written) {
    const QString text = QString::number(written.frames);
    if (m_frameDisplay->text() != text) m_frameDisplay->setText(text);
    QString elapsed = ElapsedText(written.seconds);
    if (m_durationSeconds > 0) {
        // From the whole seconds shown, so that the two add up to the duration.
        const double shown = std::floor(std::max(written.seconds, 0.0));
        elapsed += tr(" / %1 left").arg(ElapsedText(m_durationSeconds - shown));
    }
    if (m_elapsedDisplay->text() != elapsed) m_elapsedDisplay->setText(elapsed);
    ShowCaptureFrames();
}

void MainWindow::ShowTriggerFields() {
    const bool channel = m_start->currentIndex() == static_cast<int>(StartTrigger::Kind::Channel);
    for (QWidget* field : std::initializer_list<QWidget*>{m_startUniverse, m_startChannel,
                                                          m_startValue, m_stopWhenReleased}) {
        field->setEnabled(channel);
    }
}

void MainWindow::ShowSelectionFields() {
    // A list decides the order itself: the first universe is the list's first.
    m_firstUniverse->setEnabled(m_universeList->text().trimmed().isEmpty());
}

void MainWindow::ShowInput() {
    if (m_closed) return;
    std::vector<InputRow> rows = m_inputRates.Sample(m_recorder.Monitor().Read(), WallClockUs());
    DescribeSenders(rows, m_recorder.Sources(), m_recorder.Nodes(), m_recorder.Surveyed());
    // The selection follows its pair, not its line, as rows come and go.
    const QSignalBlocker blocker(m_inputView);
    m_inputView->clearSelection();
    m_inputView->setRowCount(static_cast<int>(rows.size()));
    m_rowSources.clear();
    for (const InputRow& row : rows) m_rowSources.push_back(row.source);
    const QColor staleText = palette().color(QPalette::Disabled, QPalette::Text);
    const QColor text = palette().color(QPalette::Active, QPalette::Text);
    for (size_t r = 0; r < rows.size(); ++r) {
        const InputRow& row = rows[r];
        const bool sacn = row.origin.protocol == Protocol::Sacn;
        const uint32_t address = row.origin.address ? row.origin.address : row.source;
        const QVariant cells[kInputColumns] = {
            row.universe,
            row.recorded ? QStringLiteral("\u25CF") : QString(),
            QString::fromLatin1(ProtocolName(row.origin.protocol)),
            sacn ? QVariant(int{row.origin.sentUniverse}) : QVariant(QString()),
            Q(Ipv4Text(address)),
            QString::fromStdString(row.name),
            sacn ? QVariant(int{row.origin.priority}) : QVariant(QString()),
            QString::number(row.packetsPerSecond, 'f', 1),
            QString::number(row.framesPerSecond, 'f', 1),
            tr("%1 s ago").arg(row.secondsSinceSeen, 0, 'f', 1),
            row.stale ? QVariant(tr("stale")) : QVariant(int{row.level}),
            QString::fromStdString(row.cid)};
        for (int c = 0; c < kInputColumns; ++c) {
            QTableWidgetItem* item = m_inputView->item(static_cast<int>(r), c);
            if (!item) {
                item = new QTableWidgetItem;
                if (c != kColSource && c != kColName && c != kColCid && c != kColProtocol) {
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                }
                m_inputView->setItem(static_cast<int>(r), c, item);
            }
            if (item->data(Qt::DisplayRole) != cells[c]) item->setData(Qt::DisplayRole, cells[c]);
            const QColor colour = row.stale ? staleText : text;
            if (item->foreground().color() != colour) item->setForeground(colour);
        }
        if (row.universe == m_watchedUniverse && row.source == m_watchedSource) {
            m_inputView->selectRow(static_cast<int>(r));
        }
    }
    ShowChannels();
    ShowPixels();
    const QString trigger = m_recorder.Snapshot().triggerArmed ? tr(kWaitingForTrigger) : QString();
    if (m_triggerState->text() != trigger) m_triggerState->setText(trigger);
}

void MainWindow::SelectInputRow() {
    const QList<QTableWidgetItem*> chosen = m_inputView->selectedItems();
    if (chosen.isEmpty()) {
        m_watchedUniverse = -1;
    } else {
        const int r = chosen.front()->row();
        m_watchedUniverse = m_inputView->item(r, kColUniverse)->data(Qt::DisplayRole).toInt();
        m_watchedSource = r < static_cast<int>(m_rowSources.size()) ? m_rowSources[r] : 0;
    }
    m_recorder.WatchChannels(m_watchedUniverse);
    m_shownChannels = ChannelSnapshot{};
    ShowChannels();
}

void MainWindow::ShowChannels() {
    m_channelGrid->setVisible(m_watchedUniverse >= 0);
    if (m_watchedUniverse < 0) {
        const QString hint = tr("Select a row to see its universe's 512 channels.");
        if (m_channelLabel->text() != hint) m_channelLabel->setText(hint);
        return;
    }
    const ChannelSnapshot now = m_recorder.Monitor().Channels();
    const QString label =
        now.universe < 0 ? tr("Universe %1: waiting for its next packet").arg(m_watchedUniverse)
                         : tr("Universe %1: %2 channels, changes highlighted")
                               .arg(m_watchedUniverse)
                               .arg(now.length);
    if (m_channelLabel->text() != label) m_channelLabel->setText(label);
    const bool compare = m_shownChannels.universe == now.universe && now.universe >= 0;
    const QColor changed = palette().color(QPalette::Highlight).lighter(160);
    for (int c = 0; c < kGridRows * kGridColumns; ++c) {
        QTableWidgetItem* item = m_channelGrid->item(c / kGridColumns, c % kGridColumns);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_channelGrid->setItem(c / kGridColumns, c % kGridColumns, item);
        }
        const QVariant value = now.universe < 0 ? QVariant() : QVariant(int{now.values[c]});
        if (item->data(Qt::DisplayRole) != value) item->setData(Qt::DisplayRole, value);
        const bool highlight = compare && now.values[c] != m_shownChannels.values[c];
        const QBrush brush = highlight ? QBrush(changed) : QBrush();
        if (item->background() != brush) item->setBackground(brush);
    }
    m_shownChannels = now;
}

void MainWindow::ShowPixels() {
    const std::vector<std::vector<uint8_t>> ports = m_recorder.LivePortPixels();
    m_pixelLabel->setVisible(!ports.empty());
    m_pixelStrips->setVisible(!ports.empty());
    if (!ports.empty()) m_pixelStrips->setPixmap(QPixmap::fromImage(PortStripsImage(ports)));
}

}  // namespace quorvex::app
