#include "blewtestviewcontroller.h"

#include "analytics.h"
#include "qmxblewer.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

QLabel* makeLabel(QWidget* parent, int pixelSize, bool bold, const char* color) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(color)));
    return label;
}

} // namespace

BlewTestViewController::BlewTestViewController(QWidget* parent) : BaseViewController(parent) {
    setTabItem(QStringLiteral("肺活量"), QStringLiteral("tab_lung"));
}

void BlewTestViewController::viewDidLoad() {
    setAutoFillBackground(true);
    setPalette(QPalette(QColor(0xe9, 0xf4, 0xfb)));
    m_title = makeLabel(this, 20, true, "#1b3a4b");
    m_title->setText(QStringLiteral("肺活量测试"));
    m_state = makeLabel(this, 15, false, "#3c5566");
    m_level = makeLabel(this, 13, false, "#3c5566");
    m_running = makeLabel(this, 34, true, "#1a8fe3");
    m_result = makeLabel(this, 16, false, "#1b3a4b");
    m_result->setWordWrap(true);
    m_levelBar = new QProgressBar(this);
    m_levelBar->setRange(0, 8);
    m_levelBar->setTextVisible(false);
    m_start = new QPushButton(QStringLiteral("点我开始测试"), this);
    m_start->setStyleSheet(QStringLiteral(
        "QPushButton { background: #1a8fe3; color: white; border-radius: 20px; font-size: 16px; }"
        "QPushButton:pressed { background: #1273b8; }"));
    connect(m_start, &QPushButton::clicked, this, &BlewTestViewController::startTapped);
    setState(QStringLiteral("点按钮，然后对着话筒吹气"));
    resizeEvent(nullptr);
}

void BlewTestViewController::resizeEvent(QResizeEvent*) {
    if (!isViewLoaded())
        return;
    const int w = width();
    const int h = height();
    m_title->setGeometry(0, 36, w, 28);
    m_state->setGeometry(10, 80, w - 20, 24);
    m_running->setGeometry(0, h / 2 - 110, w, 50);
    m_levelBar->setGeometry(40, h / 2 - 50, w - 80, 14);
    m_level->setGeometry(0, h / 2 - 32, w, 20);
    m_result->setGeometry(20, h / 2, w - 40, 60);
    m_start->setGeometry((w - 200) / 2, h - 49 - 80, 200, 40);
}

void BlewTestViewController::viewWillAppear(bool) {
    Analytics::event(QStringLiteral("blow"));
}

void BlewTestViewController::viewWillDisappear(bool) {
    QMXBlewer& blewer = QMXBlewer::sharedInstance();
    if (blewer.Blewdelegate() == this) {
        blewer.stopBlew();
        setState(QStringLiteral("已停止"));
    }
}

void BlewTestViewController::startTapped() {
    Analytics::event(QStringLiteral("blow_amount"));
    QMXBlewer& blewer = QMXBlewer::sharedInstance();
    if (blewer.isMonitorActive())
        return;
    m_running->clear();
    m_result->clear();
    m_levelBar->setValue(0);
    m_level->clear();
    setState(QStringLiteral("正在打开话筒…"));
    blewer.setBlewdelegate(this);
    blewer.setIsPlay(false);
    blewer.blowAirstart();
    if (!blewer.isMonitorActive() && !blewer.isRecordingState())
        setState(QStringLiteral("没有可用的话筒"));
}

void BlewTestViewController::setState(const QString& text) {
    m_state->setText(text);
}

QString BlewTestViewController::stateText() const {
    return m_state ? m_state->text() : QString();
}

QString BlewTestViewController::resultText() const {
    return m_result ? m_result->text() : QString();
}

void BlewTestViewController::BlowAirstart(bool started) {
    setState(started ? QStringLiteral("请吹气…") : QStringLiteral("话筒无法录音"));
}

void BlewTestViewController::BlowAirupdataState(float level) {
    setState(QStringLiteral("正在吹气"));
    m_levelBar->setValue(int(level));
    m_level->setText(QStringLiteral("气流强度 %1").arg(int(level)));
}

void BlewTestViewController::BlowCurrentTotal(int capacity) {
    m_running->setText(QStringLiteral("%1毫升").arg(capacity));
}

void BlewTestViewController::BlowAirOver(int capacity, int ranking) {
    setState(QStringLiteral("测试结束"));
    m_levelBar->setValue(0);
    m_running->setText(QStringLiteral("%1毫升").arg(capacity));
    m_result->setText(
        QStringLiteral("肺活量%1毫升，超越了全球%2%的环保卫士").arg(capacity).arg(ranking));
}

void BlewTestViewController::wasInterrupt() {
    setState(QStringLiteral("测试被打断"));
}

void BlewTestViewController::waitBlewTimeOut() {
    QMXBlewer::sharedInstance().stopBlew();
    setState(QStringLiteral("10秒内没有听到吹气，请再试一次"));
}
