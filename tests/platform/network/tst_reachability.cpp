#include "platform/network/networkflagssource.h"
#include "platform/network/reachability.h"
#include "platform/system/notificationcenter.h"
#include "support/installednetworkflags.h"

#include <QtTest>

namespace {

// Hands out a chosen flags word and remembers what it was asked about.
class FixedFlagsSource : public NetworkFlagsSource {
public:
    bool flagsForTarget(const Target& target, quint32* flags) override {
        m_lastTarget = target;
        *flags = m_flags;
        return m_readable;
    }
    void change(quint32 flags) {
        m_flags = flags;
        emit changed();
    }

    quint32 m_flags = 0;
    bool m_readable = true;
    Target m_lastTarget;
};

using S = NetworkFlagsSource;

} // namespace

class TestReachability : public QObject {
    Q_OBJECT

private slots:
    void internetRule_data();
    void internetRule();
    void localWiFiRule_data();
    void localWiFiRule();
    void objectsJudgeTheirTargetsFlags();
    void unreadableFlags();
    void constructorsRefuseWhatCannotBeWatched();
    void notifierPostsOnAChangeOfTheTargetsFlags();
    void notificationCenterFiltersBySender();
    void desktopConnectivityMapsOntoFlags();
    void desktopSourceAnswersOnThisMachine();

private:
    FixedFlagsSource m_source;
    Installed<NetworkFlagsSource> m_installedSource{&m_source};
};

void TestReachability::internetRule_data() {
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<int>("status");
    QTest::newRow("reachable alone") << 2u << 1;
    QTest::newRow("connection required") << 6u << 0;
    QTest::newRow("made on traffic") << 14u << 1;
    QTest::newRow("intervention required") << 30u << 0;
    QTest::newRow("made on demand") << 38u << 1;
    QTest::newRow("on demand, intervention") << 54u << 0;
    QTest::newRow("cellular, connection required") << 262150u << 2;
    QTest::newRow("cellular, intervention") << 262174u << 2;
    QTest::newRow("cellular without reachable") << 262144u << 0;
    QTest::newRow("nothing") << 0u << 0;
    QTest::newRow("direct local address") << 196610u << 1;
}

void TestReachability::internetRule() {
    QFETCH(quint32, flags);
    QFETCH(int, status);
    QCOMPARE(int(Reachability::networkStatusForFlags(flags)), status);
    m_source.m_flags = flags;
    QCOMPARE(int(Reachability::reachabilityForInternetConnection()->currentReachabilityStatus()),
             status);
}

void TestReachability::localWiFiRule_data() {
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<int>("status");
    QTest::newRow("reachable alone") << 2u << 0;
    QTest::newRow("reachable and direct") << 131074u << 1;
    QTest::newRow("direct alone") << 131072u << 0;
    QTest::newRow("direct over cellular") << 393218u << 1;
    QTest::newRow("direct, connection required") << 131078u << 1;
}

void TestReachability::localWiFiRule() {
    QFETCH(quint32, flags);
    QFETCH(int, status);
    QCOMPARE(int(Reachability::localWiFiStatusForFlags(flags)), status);
    m_source.m_flags = flags;
    QCOMPARE(int(Reachability::reachabilityForLocalWiFi()->currentReachabilityStatus()), status);
}

void TestReachability::objectsJudgeTheirTargetsFlags() {
    auto internet = Reachability::reachabilityForInternetConnection();
    QVERIFY(internet->currentReachabilityStatus() >= 0);
    QCOMPARE(m_source.m_lastTarget.address, QHostAddress(QStringLiteral("0.0.0.0")));
    QCOMPARE(m_source.m_lastTarget.address.protocol(), QAbstractSocket::IPv4Protocol);

    auto wifi = Reachability::reachabilityForLocalWiFi();
    wifi->currentReachabilityStatus();
    QCOMPARE(m_source.m_lastTarget.address, QHostAddress(QStringLiteral("169.254.0.0")));

    auto host = Reachability::reachabilityWithHostName(QStringLiteral("bücher.example"));
    m_source.m_flags = S::kReachable | S::kIsWWAN;
    QCOMPARE(host->currentReachabilityStatus(), Reachability::ReachableViaWWAN);
    QCOMPARE(m_source.m_lastTarget.hostName, QStringLiteral("bücher.example"));
    // The same flags judged by the local Wi-Fi rule.
    QCOMPARE(wifi->currentReachabilityStatus(), Reachability::NotReachable);

    m_source.m_flags = S::kReachable | S::kConnectionRequired;
    QVERIFY(internet->connectionRequired());
    m_source.m_flags = S::kReachable;
    QVERIFY(!internet->connectionRequired());
}

void TestReachability::unreadableFlags() {
    m_source.m_flags = S::kReachable | S::kConnectionRequired;
    m_source.m_readable = false;
    auto internet = Reachability::reachabilityForInternetConnection();
    QCOMPARE(internet->currentReachabilityStatus(), Reachability::NotReachable);
    QVERIFY(!internet->connectionRequired());
    m_source.m_flags = S::kReachable | S::kIsDirect;
    QCOMPARE(Reachability::reachabilityForLocalWiFi()->currentReachabilityStatus(),
             Reachability::NotReachable);
    m_source.m_readable = true;
}

void TestReachability::constructorsRefuseWhatCannotBeWatched() {
    QVERIFY(!Reachability::reachabilityWithHostName(QString()));
    QVERIFY(!Reachability::reachabilityWithAddress(QHostAddress()));
    QVERIFY(Reachability::reachabilityWithAddress(QHostAddress(QStringLiteral("10.1.2.3"))));
}

void TestReachability::notifierPostsOnAChangeOfTheTargetsFlags() {
    QList<void*> senders;
    const auto id = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("kNetworkReachabilityChangedNotification"), nullptr,
        [&](const NotificationCenter::Notification& n) { senders.append(n.object); });

    m_source.m_flags = S::kReachable;
    auto internet = Reachability::reachabilityForInternetConnection();
    m_source.change(0);
    QVERIFY(senders.isEmpty()); // the notifier is off after creation

    QVERIFY(internet->startNotifier());
    m_source.change(S::kReachable);
    QCOMPARE(senders, QList<void*>{internet.get()});
    // The receiver asks for the status itself.
    QCOMPARE(static_cast<Reachability*>(senders.first())->currentReachabilityStatus(),
             Reachability::ReachableViaWiFi);

    m_source.change(S::kReachable); // no change of the flags, no news
    QCOMPARE(senders.size(), 1);
    m_source.change(S::kReachable | S::kIsWWAN);
    QCOMPARE(senders.size(), 2);

    internet->stopNotifier();
    m_source.change(0);
    QCOMPARE(senders.size(), 2);

    QVERIFY(internet->startNotifier());
    internet.reset(); // destruction stops the notifier
    m_source.change(S::kReachable);
    QCOMPARE(senders.size(), 2);

    NotificationCenter::defaultCenter().removeObserver(id);
}

void TestReachability::notificationCenterFiltersBySender() {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    int a = 0, b = 0;
    int all = 0, onlyA = 0;
    const auto idAll = center.addObserver(QStringLiteral("n"), nullptr,
                                          [&](const NotificationCenter::Notification&) { ++all; });
    const auto idA =
        center.addObserver(QStringLiteral("n"), &a, [&](const NotificationCenter::Notification& n) {
            QCOMPARE(n.name, QStringLiteral("n"));
            ++onlyA;
        });
    center.postNotificationName(QStringLiteral("n"), &a);
    center.postNotificationName(QStringLiteral("n"), &b);
    center.postNotificationName(QStringLiteral("other"), &a);
    QCOMPARE(all, 2);
    QCOMPARE(onlyA, 1);
    center.removeObserver(idA);
    center.postNotificationName(QStringLiteral("n"), &a);
    QCOMPARE(onlyA, 1);
    QCOMPARE(all, 3);
    center.removeObserver(idAll);
}

void TestReachability::desktopConnectivityMapsOntoFlags() {
    const S::Target internet{QString(), QHostAddress(QHostAddress::AnyIPv4)};
    const S::Target wifi{QString(), QHostAddress(QStringLiteral("169.254.0.0"))};
    const S::Target host{QStringLiteral("example.org"), QHostAddress()};
    const S::Target neighbour{QString(), QHostAddress(QStringLiteral("192.168.1.20"))};

    S::Snapshot none;
    S::Snapshot lan;
    lan.localNetworks = {{QHostAddress(QStringLiteral("192.168.1.5")), 24}};

    // Without a backend the interfaces alone tell.
    QCOMPARE(S::flagsFor(internet, none), 0u);
    QCOMPARE(S::flagsFor(internet, lan), S::kReachable);
    QCOMPARE(S::flagsFor(host, lan), S::kReachable);
    QCOMPARE(S::flagsFor(wifi, lan), S::kReachable | S::kIsDirect);
    QCOMPARE(S::flagsFor(wifi, none), 0u);
    QCOMPARE(S::flagsFor(neighbour, lan), S::kReachable | S::kIsDirect);

    // A backend that sees no internet outweighs an interface that is up,
    // but the local network is still there.
    S::Snapshot offline = lan;
    offline.online = false;
    QCOMPARE(S::flagsFor(internet, offline), 0u);
    QCOMPARE(Reachability::localWiFiStatusForFlags(S::flagsFor(wifi, offline)),
             Reachability::ReachableViaWiFi);

    S::Snapshot cellular = lan;
    cellular.online = true;
    cellular.cellular = true;
    QCOMPARE(Reachability::networkStatusForFlags(S::flagsFor(internet, cellular)),
             Reachability::ReachableViaWWAN);

    const S::Target loopback{QString(), QHostAddress(QHostAddress::LocalHost)};
    QCOMPARE(S::flagsFor(loopback, none) & (S::kReachable | S::kIsDirect),
             S::kReachable | S::kIsDirect);
}

void TestReachability::desktopSourceAnswersOnThisMachine() {
    Installed<NetworkFlagsSource> desktop(nullptr);
    auto internet = Reachability::reachabilityForInternetConnection();
    auto wifi = Reachability::reachabilityForLocalWiFi();
    quint32 flags = 0xffffffffu;
    QVERIFY(NetworkFlagsSource::shared().flagsForTarget(internet->target(), &flags));
    QVERIFY((flags & ~(S::kReachable | S::kIsWWAN)) == 0);
    const int status = internet->currentReachabilityStatus();
    QVERIFY(status >= 0 && status <= 2);
    QVERIFY(internet->startNotifier());
    internet->stopNotifier();
    qInfo("internet flags %u, status %d, local Wi-Fi status %d, connection required %d", flags,
          status, int(wifi->currentReachabilityStatus()), int(internet->connectionRequired()));
}

QTEST_MAIN(TestReachability)
#include "tst_reachability.moc"
