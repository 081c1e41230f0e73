#include "server/reports/reportinflater.h"
#include "support/zlibpacked.h"

#include <QTest>
#include <zlib.h>

namespace {

QByteArray gzip(const QByteArray& data) {
    return zlibPacked(data, 31);
}

QByteArray zlibStream(const QByteArray& data) {
    return zlibPacked(data, 15);
}

const QByteArray kText = QByteArray("{\"records\": [{\"id\": \"i1\"}]}").repeated(200);

} // namespace

class TestReportInflater : public QObject {
    Q_OBJECT

private slots:
    void wholeStreamsInflate_data();
    void wholeStreamsInflate();
    void incompleteOrPaddedStreamsAreRefused_data();
    void incompleteOrPaddedStreamsAreRefused();
    void theLimitIsExact();
    void onlyTheTwoEncodingsAreTaken();
};

void TestReportInflater::wholeStreamsInflate_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("format");
    QTest::newRow("gzip") << gzip(kText) << int(ReportInflater::Format::Gzip);
    QTest::newRow("deflate") << zlibStream(kText) << int(ReportInflater::Format::Zlib);
    // Larger than one step of the inflater's output.
    QTest::newRow("gzip, several steps")
        << gzip(kText.repeated(40)) << int(ReportInflater::Format::Gzip);
}

void TestReportInflater::wholeStreamsInflate() {
    QFETCH(QByteArray, body);
    QFETCH(int, format);
    QString error;
    const auto out = ReportInflater::inflate(body, ReportInflater::Format(format), 8 << 20, &error);
    QVERIFY2(out, qPrintable(error));
    QCOMPARE(out->size() % kText.size(), 0);
    QVERIFY(out->startsWith(kText));
}

void TestReportInflater::incompleteOrPaddedStreamsAreRefused_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("format");
    const int gz = int(ReportInflater::Format::Gzip);
    const QByteArray whole = gzip(kText);
    QTest::newRow("gzip without its trailer") << whole.left(whole.size() - 8) << gz;
    QTest::newRow("gzip without the last trailer byte") << whole.left(whole.size() - 1) << gz;
    QByteArray badCrc = whole;
    badCrc[badCrc.size() - 8] = char(badCrc[badCrc.size() - 8] ^ 1);
    QTest::newRow("gzip with a wrong CRC") << badCrc << gz;
    QByteArray badLength = whole;
    badLength[badLength.size() - 4] = char(badLength[badLength.size() - 4] ^ 1);
    QTest::newRow("gzip with a wrong length") << badLength << gz;
    QTest::newRow("bytes after the gzip trailer") << whole + "x" << gz;
    QTest::newRow("a second gzip member") << whole + gzip("{}") << gz;
    QTest::newRow("cut in the middle") << whole.left(whole.size() / 2) << gz;
    QTest::newRow("empty") << QByteArray() << gz;
    QTest::newRow("gzip as deflate") << whole << int(ReportInflater::Format::Zlib);
    QTest::newRow("deflate as gzip") << zlibStream(kText) << gz;
    const QByteArray z = zlibStream(kText);
    QTest::newRow("deflate without its checksum")
        << z.left(z.size() - 4) << int(ReportInflater::Format::Zlib);
    QTest::newRow("bytes after the deflate stream")
        << z + QByteArray(1, '\0') << int(ReportInflater::Format::Zlib);
}

void TestReportInflater::incompleteOrPaddedStreamsAreRefused() {
    QFETCH(QByteArray, body);
    QFETCH(int, format);
    QString error;
    QVERIFY(!ReportInflater::inflate(body, ReportInflater::Format(format), 8 << 20, &error));
    QVERIFY(!error.isEmpty());
}

void TestReportInflater::theLimitIsExact() {
    const QByteArray data(100000, 'a');
    QString error;
    const auto atLimit =
        ReportInflater::inflate(gzip(data), ReportInflater::Format::Gzip, data.size(), &error);
    QVERIFY2(atLimit, qPrintable(error));
    QCOMPARE(*atLimit, data);
    QVERIFY(!ReportInflater::inflate(gzip(data), ReportInflater::Format::Gzip, data.size() - 1,
                                     &error));
    QVERIFY(error.contains(QString::number(data.size() - 1)));
}

void TestReportInflater::onlyTheTwoEncodingsAreTaken() {
    QCOMPARE(ReportInflater::formatFor("gzip"), ReportInflater::Format::Gzip);
    QCOMPARE(ReportInflater::formatFor("deflate"), ReportInflater::Format::Zlib);
    for (const char* other : {"", "compress", "br", "identity", "gzip, deflate", "GZIP "})
        QVERIFY2(!ReportInflater::formatFor(other), other);
}

QTEST_GUILESS_MAIN(TestReportInflater)
#include "tst_reportinflater.moc"
