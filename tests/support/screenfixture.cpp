#include "support/screenfixture.h"

#include "blow/qmxblewer.h"
#include "platform/uikit/alertview.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/tabbarcontroller.h"
#include "screens/placeholderviewcontroller.h"
#include "share/transport/outboxsharetransport.h"
#include "support/fakerecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

ScreenFixture::ScreenFixture(float quietLevel)
    : m_animations(std::make_unique<FakeAnimationDriver>()), m_quietLevel(quietLevel) {
    m_installedRecorders =
        std::make_unique<Installed<AudioRecorder>>([this](const QString&, const QVariantMap&) {
            ++m_recorders;
            auto recorder = std::make_shared<FakeRecorder>(std::deque<float>{}, m_quietLevel);
            recorder->setPrepares(!m_noMicrophone);
            return recorder;
        });
    m_installedTransports =
        std::make_unique<Installed<ShareTransportRegistry>>(QList<std::shared_ptr<ShareTransport>>{
            std::make_shared<OutboxShareTransport>(m_outbox.path())});
}

ScreenFixture::~ScreenFixture() {
    delete m_window;
}

void ScreenFixture::show(ViewController* screen) {
    m_noMicrophone = false;
    m_random.setValue(0);
    m_players = std::make_unique<FakePlayerFactory>();
    m_window = new QWidget;
    m_window->resize(320, 568);
    m_tabs = new TabBarController(m_window);
    m_tabs->setGeometry(m_window->rect());
    m_tabs->setViewControllers({screen, new PlaceholderViewController("other", "")});
    KeyWindow::makeKeyAndVisible(m_window);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void ScreenFixture::close() {
    QMXBlewer::sharedInstance().stopBlew();
    m_dispatch.drainMain();
    delete AlertView::current();
    delete m_window;
    m_window = nullptr;
    m_tabs = nullptr;
    m_players.reset();
}

QStringList ScreenFixture::soundsPlayed() const {
    QStringList names;
    for (const auto& player : m_players->players())
        names << QFileInfo(player->path()).fileName();
    return names;
}

int ScreenFixture::outboxRecords() const {
    return int(QDir(m_outbox.path()).entryList({"*.json"}).size());
}

TabBar* ScreenFixture::tabBar() const {
    return m_tabs->tabBar();
}
