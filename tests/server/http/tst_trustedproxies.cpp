#include "server/http/httprequest.h"
#include "server/http/trustedproxies.h"

#include <QTest>

using Headers = std::vector<std::pair<std::string, std::string>>;
Q_DECLARE_METATYPE(Headers)

// Whose word on the client is taken, and what it says.
class TestTrustedProxies : public QObject {
    Q_OBJECT

private slots:
    void theClientIsTheLastHopThatIsNotOurs_data() {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<QString>("client");
        const Headers xff{{"X-Forwarded-For", "198.51.100.7, 203.0.113.9"}};
        QTest::newRow("a stranger's header is ignored") << "192.0.2.1" << xff << "192.0.2.1";
        QTest::newRow("our proxy appended the client") << "10.0.0.5" << xff << "203.0.113.9";
        QTest::newRow("through two of ours")
            << "10.0.0.5" << Headers{{"x-forwarded-for", "198.51.100.7, 203.0.113.9, 10.0.0.6"}}
            << "203.0.113.9";
        QTest::newRow("fields joined in order")
            << "10.0.0.5"
            << Headers{{"X-Forwarded-For", "198.51.100.7"}, {"X-Forwarded-For", "203.0.113.9"}}
            << "203.0.113.9";
        QTest::newRow("nothing forwarded") << "10.0.0.5" << Headers{} << "10.0.0.5";
        QTest::newRow("junk where our proxy spoke")
            << "10.0.0.5" << Headers{{"X-Forwarded-For", "203.0.113.9, unknown"}} << "10.0.0.5";
        QTest::newRow("only ours, all the way")
            << "10.0.0.5" << Headers{{"X-Forwarded-For", "10.0.0.7"}} << "10.0.0.7";
        QTest::newRow("Forwarded, IPv6 with a port")
            << "10.0.0.5"
            << Headers{{"Forwarded",
                        R"(for=192.0.2.60;proto=http, For="[2001:db8:cafe::17]:4711")"}}
            << "2001:db8:cafe::17";
        QTest::newRow("X-Forwarded-For before Forwarded")
            << "10.0.0.5"
            << Headers{{"Forwarded", "for=192.0.2.60"}, {"X-Forwarded-For", "203.0.113.9"}}
            << "203.0.113.9";
        QTest::newRow("an IPv4 client seen over IPv6")
            << "::ffff:10.0.0.5" << Headers{{"X-Forwarded-For", "::ffff:203.0.113.9"}}
            << "203.0.113.9";
        QTest::newRow("a proxy by its IPv6 prefix")
            << "fd00:1::2" << Headers{{"X-Forwarded-For", "2001:db8::1"}} << "2001:db8::1";
    }

    void theClientIsTheLastHopThatIsNotOurs() {
        QFETCH(QString, peer);
        QFETCH(Headers, headers);
        QFETCH(QString, client);
        std::string error;
        const auto proxies = TrustedProxies::parse({"10.0.0.0/29", "fd00:1::/64"}, &error);
        QVERIFY2(proxies, error.c_str());
        HttpRequest request;
        request.headers = headers;
        QCOMPARE(QString::fromStdString(proxies->clientOf(request, peer.toStdString())), client);
    }

    void onlyAddressesAndPrefixesAreTaken() {
        std::string error;
        for (const char* bad :
             {"10.0.0.1/33", "::1/129", "10.0.0.1/", "proxy.example", "10.0.0/8", "10.0.0.1/8x"}) {
            QVERIFY2(!TrustedProxies::parse({bad}, &error), bad);
            QVERIFY(error.find(bad) != std::string::npos);
        }
        const auto proxies = TrustedProxies::parse({"127.0.0.1", "::1"}, &error);
        QVERIFY(proxies && proxies->trusts("127.0.0.1") && proxies->trusts("::1"));
        QVERIFY(!proxies->trusts("127.0.0.2"));
    }
};

QTEST_GUILESS_MAIN(TestTrustedProxies)
#include "tst_trustedproxies.moc"
