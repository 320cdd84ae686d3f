#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdint>
#include <cstdio>

#include "app/app_icon.h"
#include "app/hot_keys.h"

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

QPushButton* NewButton(const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text));
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLabel* NewLabel(const char* text, const char* name) {
    auto* l = new QLabel(QString::fromUtf8(text));
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QGroupBox* NewGroup(const char* title, const char* name) {
    auto* g = new QGroupBox(QString::fromUtf8(title));
    g->setObjectName(QString::fromLatin1(name));
    return g;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(Options{}, parent) {}

MainWindow::MainWindow(Options options, QWidget* parent)
    : QDialog(parent), m_options(std::move(options)), m_dlg(*this, m_options.logic) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(AppIcon());
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    BuildControls();
    m_dlg.OnInitDialog();

    m_hotKeys = std::make_unique<HotKeys>(
        this, std::vector<HotKeys::Key>{
                  {Qt::Key_F7, [this] { HotKey(&CQuorvexDlg::OnBnClickedCapture); }},
                  {Qt::Key_F8, [this] { HotKey(&CQuorvexDlg::OnBnClickedPause); }},
                  {Qt::Key_F9, [this] { HotKey(&CQuorvexDlg::OnBnClickedStop); }}});
    if (!m_hotKeys->AllSystemWide()) AppendLog(kHotKeysUnavailable);
}

MainWindow::~MainWindow() { Shutdown(); }

void MainWindow::BuildControls() {
    // Created in tab order.
    m_capture = NewButton("Cpature", "captureButton");
    m_cancel = NewButton("Cancel", "cancelButton");
    QLabel* ipLabel = NewLabel("IP address：", "ipLabel");
    m_ip = new QComboBox;
    m_ip->setObjectName(QStringLiteral("ipCombo"));
    m_parse = NewButton("Parse", "parseButton");
    QGroupBox* localBox = NewGroup("Local network", "localNetworkBox");
    m_pause = NewButton("Pause", "pauseButton");
    m_stop = NewButton("Stop", "stopButton");
    QGroupBox* paramBox = NewGroup("Parameters", "parametersBox");
    QGroupBox* logBox = NewGroup("Log", "logBox");
    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("logPane"));
    m_icType = new QComboBox;
    m_icType->setObjectName(QStringLiteral("icTypeCombo"));
    QLabel* icLabel = NewLabel("IC Type:", "icTypeLabel");
    m_universes = new QComboBox;
    m_universes->setObjectName(QStringLiteral("universesCombo"));
    QLabel* universesLabel = NewLabel("Universes/Port:", "universesLabel");
    QLabel* frameNumLabel = NewLabel("Current frame num:", "currentFrameLabel");
    m_frameDisplay = NewLabel("", "frameDisplay");
    QLabel* captureFramesLabel = NewLabel("Cpature Frames:", "captureFramesLabel");
    m_captureFrames = new QLineEdit;
    m_captureFrames->setObjectName(QStringLiteral("captureFramesEdit"));
    m_rgbw = new QCheckBox(QStringLiteral("RGBW"));
    m_rgbw->setObjectName(QStringLiteral("rgbwCheck"));

    m_capture->setDefault(true);
    m_universes->setEditable(true);
    m_universes->setInsertPolicy(QComboBox::NoInsert);
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log->setTabChangesFocus(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_frameDisplay->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_frameDisplay->setMinimumWidth(120);
    m_icType->setMinimumWidth(120);
    m_ip->setMinimumWidth(180);

    auto* localLayout = new QHBoxLayout(localBox);
    localLayout->addWidget(ipLabel);
    localLayout->addWidget(m_ip, 1);

    auto* params = new QGridLayout(paramBox);
    params->addWidget(icLabel, 0, 0);
    params->addWidget(m_icType, 0, 1);
    params->addWidget(m_rgbw, 0, 2);
    params->addWidget(universesLabel, 1, 0);
    params->addWidget(m_universes, 1, 1);
    params->addWidget(captureFramesLabel, 2, 0);
    params->addWidget(m_captureFrames, 2, 1);
    params->addWidget(frameNumLabel, 3, 0);
    params->addWidget(m_frameDisplay, 3, 1);
    params->setColumnStretch(3, 1);

    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(m_log);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {m_parse, m_capture, m_pause, m_stop, m_cancel}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(localBox);
    layout->addWidget(paramBox);
    layout->addWidget(logBox, 1);
    layout->addLayout(buttons);
    resize(560, 520);

    const QWidget* order[] = {m_capture, m_cancel, m_ip,        m_parse,         m_pause, m_stop,
                              m_log,     m_icType, m_universes, m_captureFrames, m_rgbw};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
    m_capture->setFocus();

    connect(m_parse, &QPushButton::clicked, this, [this] { m_dlg.OnBnClickedParse(); });
    connect(m_capture, &QPushButton::clicked, this, [this] { m_dlg.OnBnClickedCapture(); });
    connect(m_pause, &QPushButton::clicked, this, [this] { m_dlg.OnBnClickedPause(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { m_dlg.OnBnClickedStop(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_rgbw, &QCheckBox::toggled, this, [this](bool on) { m_dlg.OnBnClickedRgbw(on); });
    // Every pick of the user, even of the line already selected; never a programmatic one.
    connect(m_ip, &QComboBox::activated, this, [this] { m_dlg.OnCbnSelchangeIp(); });

    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("contextMenu"));
    m_contextMenu->addAction(QStringLiteral("关于 Quorvex(&A)..."), this, &MainWindow::ShowAbout);
}

void MainWindow::HotKey(void (CQuorvexDlg::*command)()) {
    // A command under an open Save As or message box would run the logic re-entrantly.
    if (m_closed || QApplication::activeModalWidget()) return;
    (m_dlg.*command)();
}

void MainWindow::done(int result) {
    Shutdown();
    QDialog::done(result);
}

void MainWindow::Shutdown() {
    if (m_closed) return;
    m_closed = true;
    for (auto& entry : m_timers) entry.second->stop();
    m_dlg.OnDestroy();
    m_hotKeys.reset();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    m_contextMenu->exec(event->globalPos());
}

void MainWindow::ShowAbout() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("关于 Quorvex"));
    auto* icon = new QLabel(&about);
    icon->setPixmap(windowIcon().pixmap(48, 48));
    auto* version = new QLabel(QStringLiteral("Quorvex，版本 1.0"), &about);
    auto* copyright = new QLabel(QStringLiteral("Copyright (C) 2026 Quorvex"), &about);
    auto* ok = new QPushButton(QStringLiteral("确定"), &about);
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

bool MainWindow::OnWindowThread() const { return QThread::currentThread() == thread(); }

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
            case Delivery::Log:
                AppendLine(d.text);
                break;
            case Delivery::Message:
                if (!m_closed) m_target->OnWindowMessage(static_cast<WindowMessage>(d.value));
                break;
            case Delivery::ArmTimer:
                ArmTimer(d.value);
                break;
            case Delivery::StopTimer:
                StopTimer(d.value);
                break;
            case Delivery::Box:
                if (!m_closed) MessageBox(d.text);
                break;
        }
    }
}

void MainWindow::AppendLog(const std::string& text) {
    // Queued also from the window thread: lines keep the order they were made in.
    Deliver({Delivery::Log, text});
}

void MainWindow::AppendLine(const std::string& text) {
    if (m_options.logToStderr) {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
    m_log->appendPlainText(Q(text));
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
    m_log->horizontalScrollBar()->setValue(0);
}

void MainWindow::PostMessage(WindowMessage message) {
    Deliver({Delivery::Message, {}, static_cast<int>(message)});
}

QComboBox* MainWindow::Combo(ListId list) const {
    switch (list) {
        case ListId::Ip:
            return m_ip;
        case ListId::IcType:
            return m_icType;
        case ListId::Universes:
            break;
    }
    return m_universes;
}

int MainWindow::GetCurSel(ListId list) const {
    const QComboBox* c = Combo(list);
    const int sel = c->currentIndex();
    if (sel < 0) return kNoSelection;
    // Text typed over the selected line means the user typed: no selection.
    if (c->isEditable() && c->currentText() != c->itemText(sel)) return kNoSelection;
    return sel;
}

std::string MainWindow::GetListText(ListId list) const {
    return Combo(list)->currentText().toStdString();
}

void MainWindow::ResetContent(ListId list) { Combo(list)->clear(); }

void MainWindow::AddString(ListId list, const std::string& text) { Combo(list)->addItem(Q(text)); }

void MainWindow::SetCurSel(ListId list, int index) {
    QComboBox* c = Combo(list);
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

void MainWindow::EnableButton(ButtonId button, bool enable) {
    QPushButton* b = m_capture;
    switch (button) {
        case ButtonId::Parse:
            b = m_parse;
            break;
        case ButtonId::Pause:
            b = m_pause;
            break;
        case ButtonId::Stop:
            b = m_stop;
            break;
        case ButtonId::Capture:
            break;
    }
    b->setEnabled(enable);
}

void MainWindow::MessageBox(const std::string& text) {
    if (!OnWindowThread()) {
        Deliver({Delivery::Box, text});
        return;
    }
    if (m_options.logToStderr) {
        std::fprintf(stderr, "Message box: %s\n", text.c_str());
        std::fflush(stderr);
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quorvex"), Q(text), QMessageBox::Ok,
                    this);
    box.exec();
}

void MainWindow::SetTimer(int id) {
    if (OnWindowThread()) {
        ArmTimer(id);
    } else {
        Deliver({Delivery::ArmTimer, {}, id});
    }
}

void MainWindow::KillTimer(int id) {
    if (OnWindowThread()) {
        StopTimer(id);
    } else {
        Deliver({Delivery::StopTimer, {}, id});
    }
}

void MainWindow::ArmTimer(int id) {
    if (m_closed) return;
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setInterval(kTimerPeriodMs);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (!m_closed) m_target->OnTimer(id);
        });
    }
    timer->start();
}

void MainWindow::StopTimer(int id) {
    const auto it = m_timers.find(id);
    if (it != m_timers.end()) it->second->stop();
}

bool MainWindow::TimerArmed(int id) const {
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

void MainWindow::PushFields(const BoundFields& fields) {
    const QString frameNum = Q(fields.frameNum);
    if (m_frameDisplay->text() != frameNum) m_frameDisplay->setText(frameNum);
    const QString maxFrames = QString::number(fields.maxFrames);
    if (m_captureFrames->text() != maxFrames) m_captureFrames->setText(maxFrames);
}

bool MainWindow::PullFields(BoundFields& fields) {
    fields.frameNum = m_frameDisplay->text().toStdString();
    const std::optional<unsigned> maxFrames = ParseUnsigned(m_captureFrames->text());
    if (!maxFrames) {
        MessageBox(kUnsignedNeeded);
        m_captureFrames->setFocus();
        m_captureFrames->selectAll();
        return false;
    }
    fields.maxFrames = *maxFrames;
    return true;
}

std::optional<std::string> MainWindow::AskSavePath(const std::string& defaultName) {
    QFileDialog dialog(this, QStringLiteral("Save As"));
    // Qt's own dialog matches the name filter in any letter case; native ones may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("RGB"));
    dialog.setNameFilter(QStringLiteral("rgb文件(*.RGB)"));
    if (!m_dlg.m_strRgbDir.empty()) dialog.setDirectory(Q(m_dlg.m_strRgbDir));
    dialog.selectFile(Q(defaultName));
    if (saveAsHook) return saveAsHook(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace quorvex::app
