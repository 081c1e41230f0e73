#include "analytics/analyticsinternal.h"
#include "analytics/crash/analyticscrash.h"
#include "server/reports/crashsignature.h"
#include "server/reports/recordfacts.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Stacks as the crash handler writes them (backtrace_symbols of an
// executable without exported symbols), from two runs of the same build:
// other absolute addresses, another directory.
const QStringList kSegvRun1 = {
    "/opt/a/vantoro(+0xbd1f)[0x560c855d2d1f]", "/opt/a/vantoro(+0xbddd)[0x560c855d2ddd]",
    "/lib/x86_64-linux-gnu/libc.so.6(+0x3c050)[0x7f706a85a050]",
    "/opt/a/vantoro(+0x5abd)[0x560c855ccabd]", "/opt/a/vantoro(+0x5d63)[0x560c855ccd63]"};
const QStringList kSegvRun2 = {
    "./vantoro(+0xbd1f)[0x55f68da1dd1f]", "./vantoro(+0xbddd)[0x55f68da1dddd]",
    "/lib/x86_64-linux-gnu/libc.so.6(+0x3c050)[0x7ff74285a050]",
    "./vantoro(+0x5abd)[0x55f68da17abd]", "./vantoro(+0x5d63)[0x55f68da17d63]"};
const QStringList kException = {"vantoro(+0xbd1f)[0x560526dfcd1f]",
                                "vantoro(+0xbe6c)[0x560526dfce6c]",
                                "/lib/x86_64-linux-gnu/libstdc++.so.6(+0xa8e1a)[0x7f3458aa8e1a]",
                                "/lib/x86_64-linux-gnu/libstdc++.so.6(+0xa90d8)[0x7f3458aa90d8]",
                                "vantoro(+0x5e56)[0x560526df6e56]"};
const QStringList kAbort = {"vantoro(+0xbd1f)[0x5601f55d1d1f]",
                            "vantoro(+0xbddd)[0x5601f55d1ddd]",
                            "/lib/x86_64-linux-gnu/libc.so.6(+0x3c050)[0x7f024805a050]",
                            "/lib/x86_64-linux-gnu/libc.so.6(gsignal+0x12)[0x7f0248059fb2]",
                            "/lib/x86_64-linux-gnu/libc.so.6(abort+0xd3)[0x7f0248044472]",
                            "vantoro(+0x5d63)[0x5601f55cbd63]"};

const QString kBuild = QStringLiteral("2857EE43-A926-31D3-37D4-845A5551D774");

// The context the application sends (AnalyticsInternal::errorContext).
QString context(const QString& reason, const QStringList& stack, const QString& build = kBuild,
                const QString& image = QStringLiteral("vantoro")) {
    QString text = reason + QStringLiteral("\n(null)\n(");
    for (qsizetype i = 0; i < stack.size(); ++i)
        text += QStringLiteral("\n    ") + stack[i] + (i + 1 < stack.size() ? "," : "");
    text += QStringLiteral("\n)");
    return AnalyticsInternal::errorContext(text, {{"binary_uuid", build},
                                                  {"cpu_arch", "x86_64"},
                                                  {"slide_address", "0x5000"},
                                                  {"image_name", image},
                                                  {"image_base_address", "0x560c855c7000"}});
}

const QString kSegv = QStringLiteral("Application received signal SIGSEGV");

} // namespace

class TestCrashSignature : public QObject {
    Q_OBJECT

private slots:
    void framesLoseWhatDiffersFromRunToRun_data();
    void framesLoseWhatDiffersFromRunToRun();
    void theHandlersFramesAreSkipped_data();
    void theHandlersFramesAreSkipped();
    void theSameCrashGroupsAndOtherBuildsOrReasonsSplit();
    void anyTextGivesABoundedSignature();
    void realCrashesOfOneFaultGroupTogether();
};

void TestCrashSignature::framesLoseWhatDiffersFromRunToRun_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("symbol, spaced address")
        << "/usr/bin/vantoro(_ZN3Foo3barEv+0x1a) [0x55d0c0a1b2c3]"
        << "vantoro(_ZN3Foo3barEv+0x1a)";
    QTest::newRow("offset only") << "build/app/vantoro(+0xbd1f)[0x560c855d2d1f]"
                                 << "vantoro(+0xbd1f)";
    QTest::newRow("a slash inside the symbol stays") << "/lib/libx.so(a/b+0x1)[0x1]"
                                                     << "libx.so(a/b+0x1)";
    QTest::newRow("no module") << "[0x7f0248044472]"
                               << "?";
    QTest::newRow("indented, comma kept out by the caller") << "    vantoro(+0x10)[0x1]  "
                                                            << "vantoro(+0x10)";
}

void TestCrashSignature::framesLoseWhatDiffersFromRunToRun() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(CrashSignature::normalisedFrame(line), expected);
}

void TestCrashSignature::theHandlersFramesAreSkipped_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("frame");
    QTest::newRow("signal") << context(kSegv, kSegvRun1) << "vantoro(+0x5abd)";
    QTest::newRow("exception") << context("crash child threw on purpose", kException)
                               << "vantoro(+0x5e56)";
    QTest::newRow("abort") << context("Application received signal SIGABRT", kAbort)
                           << "vantoro(+0x5d63)";
    // A crash on a thread the application did not start: no frame of its
    // own after the handler's.
    QTest::newRow("no own frame after the handler")
        << context(kSegv, kSegvRun1.first(3)) << "libc.so.6(+0x3c050)";
    QTest::newRow("image unknown")
        << context(kSegv, kSegvRun1, kBuild, QString()) << "vantoro(+0x5abd)";
    QTest::newRow("started through a link of another name")
        << context(kSegv, kSegvRun1, kBuild, "vantoro-bin") << "vantoro(+0x5abd)";
    // Built with a sanitizer: its runtime intercepts backtrace() and comes
    // before the handler.
    QTest::newRow("sanitizer runtime first")
        << context(kSegv,
                   QStringList{"/lib/x86_64-linux-gnu/libasan.so.8(+0x51f31)[0x7f0]"} + kSegvRun1)
        << "vantoro(+0x5abd)";
    // The image named, but the handler elsewhere (a library of its own).
    QTest::newRow("handler in a library")
        << context(kSegv, {"/l/libcrash.so(+0x10)[0x1]", "/l/libcrash.so(+0x20)[0x2]",
                           "/lib/libc.so.6(+0x3c050)[0x3]", "/opt/a/vantoro(+0x5abd)[0x4]"})
        << "vantoro(+0x5abd)";
    QTest::newRow("no stack") << context(kSegv, {}) << "";
}

void TestCrashSignature::theHandlersFramesAreSkipped() {
    QFETCH(QString, context);
    QFETCH(QString, frame);
    QCOMPARE(CrashSignature::fromContext(context).frame, frame);
}

void TestCrashSignature::theSameCrashGroupsAndOtherBuildsOrReasonsSplit() {
    const CrashSignature first = CrashSignature::fromContext(context(kSegv, kSegvRun1));
    QCOMPARE(first.kind, kSegv);
    QCOMPARE(first.buildId, kBuild);
    QCOMPARE(first.groupKey.size(), 16);
    QCOMPARE(CrashSignature::fromContext(context(kSegv, kSegvRun2)).groupKey, first.groupKey);

    const QString otherBuild = QStringLiteral("11111111-A926-31D3-37D4-845A5551D774");
    QVERIFY(CrashSignature::fromContext(context(kSegv, kSegvRun1, otherBuild)).groupKey !=
            first.groupKey);
    QVERIFY(CrashSignature::fromContext(context("Application received signal SIGBUS", kSegvRun1))
                .groupKey != first.groupKey);
    // Same first own frame, but reached from elsewhere: still the same crash.
    QStringList deeper = kSegvRun1;
    deeper.last() = "/opt/a/vantoro(+0x7777)[0x560c855c7777]";
    QCOMPARE(CrashSignature::fromContext(context(kSegv, deeper)).groupKey, first.groupKey);
}

void TestCrashSignature::anyTextGivesABoundedSignature() {
    // An exception's text over lines, imitating the image lines.
    const CrashSignature multiLine = CrashSignature::fromContext(
        context("bad value\n\ndSYM UUID: FAKE\nsecond   line", kException));
    QCOMPARE(multiLine.kind, "bad value dSYM UUID: FAKE second line");
    QCOMPARE(multiLine.buildId, kBuild);
    QCOMPARE(multiLine.frame, "vantoro(+0x5e56)");

    const CrashSignature empty = CrashSignature::fromContext(QString());
    QVERIFY(empty.kind.isEmpty() && empty.buildId.isEmpty() && empty.frame.isEmpty());
    QCOMPARE(empty.groupKey.size(), 16);
    QCOMPARE(CrashSignature::fromContext(u"one line only").kind, "one line only");

    const QString huge(1 << 20, u'x');
    const CrashSignature clipped = CrashSignature::fromContext(
        context(huge, {"/p/" + huge + "(+0x1)[0x2]", "vantoro(+0x3)[0x4]"}, huge));
    QCOMPARE(clipped.kind.size(), CrashSignature::kMaxKind);
    QCOMPARE(clipped.buildId.size(), CrashSignature::kMaxBuildId);
    QVERIFY(clipped.frame.size() <= CrashSignature::kMaxFrame);
    QCOMPARE(clipped.frame, "vantoro(+0x3)");

    // A stack of a megabyte and more is read by its ends when a record is
    // kept: its first frames and its image lines give the same signature.
    QStringList longStack{"/usr/lib/libc.so.6(+0x1)[0x2]", "vantoro(+0x5e56)[0x3]"};
    longStack += QStringList(100000, QStringLiteral("/usr/lib/libc.so.6(+0x4)[0x5]"));
    const QString longText = context(kSegv, longStack);
    const QByteArray record = QJsonDocument(QJsonObject{{"type", "error"}, {"context", longText}})
                                  .toJson(QJsonDocument::Compact);
    const std::optional<CrashSignature> read = RecordFacts::fromJson(record).crash;
    QVERIFY(read);
    QCOMPARE(read->groupKey, CrashSignature::fromContext(longText).groupKey);
    QCOMPARE(read->buildId, kBuild);
    QCOMPARE(read->frame, "vantoro(+0x5e56)");
}

// Whole crashes of a child, read back as the next launch reads them: the
// absolute addresses differ from run to run, the groups do not; a fault on
// a worker thread is the same fault; an exception is another.
void TestCrashSignature::realCrashesOfOneFaultGroupTogether() {
    auto crash = [](const QByteArray& mode) {
        QTemporaryDir folder;
        QProcess child;
        child.start(QStringLiteral(CRASH_CHILD), {folder.path(), QString::fromLatin1(mode)});
        child.waitForFinished(10000);
        const QList<AnalyticsCrash::Report> reports =
            AnalyticsCrash::takePendingReports(folder.path(), QCoreApplication::applicationPid());
        return reports.size() == 1
                   ? AnalyticsInternal::errorContext(reports[0].crashText, reports[0].imageInfo)
                   : QString();
    };
    const QString segv = crash("segv");
    const QString again = crash("segv");
    const QString thread = crash("segv-thread");
    const QString thrown = crash("exception");
    QVERIFY(!segv.isEmpty() && !again.isEmpty() && !thread.isEmpty() && !thrown.isEmpty());

    const CrashSignature s = CrashSignature::fromContext(segv);
    QCOMPARE(s.kind, kSegv);
    QVERIFY(!s.buildId.isEmpty());
    QVERIFY2(s.frame.startsWith("analytics_crashchild("), qPrintable(s.frame));
    QCOMPARE(CrashSignature::fromContext(again).groupKey, s.groupKey);
    QCOMPARE(CrashSignature::fromContext(thread).groupKey, s.groupKey);
    const CrashSignature t = CrashSignature::fromContext(thrown);
    QCOMPARE(t.kind, "crash child threw on purpose");
    QVERIFY2(t.frame.startsWith("analytics_crashchild(") && t.frame != s.frame,
             qPrintable(t.frame));
}

QTEST_GUILESS_MAIN(TestCrashSignature)
#include "tst_crashsignature.moc"
