#include "platform/system/bundle.h"
#include "platform/system/localizedstrings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Writes "<table>.strings" into the strings folder of a fresh bundle and
// makes that bundle the current one.
QString makeBundle(const QTemporaryDir& dir, const QString& table, const QByteArray& bytes) {
    QDir(dir.path()).mkpath(QStringLiteral("strings"));
    const QString path =
        dir.path() + QStringLiteral("/strings/") + table + QStringLiteral(".strings");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    Bundle::setResourcePath(dir.path());
    return path;
}

QString lookup(const char* key, const QString& value = {}, const QString& table = "t") {
    return LocalizedStrings::localizedStringForKey(QString::fromUtf8(key), value, table);
}
} // namespace

class TestLocalizedStrings : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Bundle::setResourcePath({}); }

    void entryOrFallback() {
        QTemporaryDir dir;
        makeBundle(dir, "t", "\"present\" = \"有\";\n\"blank\" = \"\";\n");
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(lookup("present"), QStringLiteral("有"));
        QCOMPARE(lookup("present", "fallback"), QStringLiteral("有"));
        QCOMPARE(lookup("missing"), QStringLiteral("missing"));
        QCOMPARE(lookup("missing", "fallback"), QStringLiteral("fallback"));
        // An entry that is present but empty is still the entry.
        QCOMPARE(lookup("blank", "fallback"), QString());
        QCOMPARE(lookup("Present"), QStringLiteral("Present"));
    }

    void missingTableGivesKeys() {
        QTemporaryDir dir;
        makeBundle(dir, "other", "\"a\" = \"b\";");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no strings table absent\\.strings"));
        QCOMPARE(lookup("a", {}, "absent"), QStringLiteral("a"));
        QCOMPARE(lookup("a", "v", "absent"), QStringLiteral("v"));
    }

    void readOncePerBundle() {
        QTemporaryDir dir;
        const QString path = makeBundle(dir, "t", "\"k\" = \"first\";");
        QCOMPARE(lookup("k"), QStringLiteral("first"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("\"k\" = \"second\";");
        file.close();
        QCOMPARE(lookup("k"), QStringLiteral("first"));

        QTemporaryDir other;
        makeBundle(other, "t", "\"k\" = \"other bundle\";");
        QCOMPARE(lookup("k"), QStringLiteral("other bundle"));
    }

    void escapesAndComments() {
        QTemporaryDir dir;
        makeBundle(dir, "t",
                   "\xEF\xBB\xBF/* header \"hidden\" = \"no\"; with a * and a / inside\n"
                   "   over two lines */\n"
                   "// \"hidden2\" = \"no\";\n"
                   "\"quote\" = \"say \\\"hi\\\"\";  // trailing comment\n"
                   "\"slash\"=\"a\\\\b\";\n"
                   "\"lines\" = \"one\\ntwo\";\n"
                   "\"tab\" = \"a\\tb\";\n"
                   "\"unicode\" = \"\\U96FE\\u973e\";\n"
                   "\"spans\" = \"first\nsecond\";\n"
                   "\"url\" = \"http://x/y\"; /* not a comment start: // */\n"
                   "bare_key = bare.value;\n"
                   "\"alone\";\n"
                   "\"with = and ; inside\" = \"/* kept */ // kept\";\n"
                   "\"dup\" = \"old\"; \"dup\" = \"new\";\n"
                   "\"中文键\" = \"中文值\";\n");
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(lookup("hidden"), QStringLiteral("hidden"));
        QCOMPARE(lookup("hidden2"), QStringLiteral("hidden2"));
        QCOMPARE(lookup("quote"), QStringLiteral("say \"hi\""));
        QCOMPARE(lookup("slash"), QStringLiteral("a\\b"));
        QCOMPARE(lookup("lines"), QStringLiteral("one\ntwo"));
        QCOMPARE(lookup("tab"), QStringLiteral("a\tb"));
        QCOMPARE(lookup("unicode"), QStringLiteral("雾霾"));
        QCOMPARE(lookup("spans"), QStringLiteral("first\nsecond"));
        QCOMPARE(lookup("url"), QStringLiteral("http://x/y"));
        QCOMPARE(lookup("bare_key"), QStringLiteral("bare.value"));
        QCOMPARE(lookup("alone", "v"), QStringLiteral("alone"));
        QCOMPARE(lookup("with = and ; inside"), QStringLiteral("/* kept */ // kept"));
        QCOMPARE(lookup("dup"), QStringLiteral("new"));
        QCOMPARE(lookup("中文键"), QStringLiteral("中文值"));
    }

    void syntaxErrors_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("kept");
        const QString good = QStringLiteral("\"a\" = \"1\";\n\"b\" = \"2\";\n");
        QTest::newRow("truncated value")
            << good + "\"c\" = \"3" << 3 << "unterminated string" << QStringList{"a", "b"};
        QTest::newRow("truncated after value")
            << good + "\"c\" = \"3\"" << 3 << "missing ';'" << QStringList{"a", "b"};
        QTest::newRow("truncated after =")
            << good + "\"c\" =  " << 3 << "missing value" << QStringList{"a", "b"};
        QTest::newRow("missing semicolon") << "\"a\" = \"1\"\n\"b\" = \"2\";\n"
                                           << 2 << "expected ';'" << QStringList{};
        QTest::newRow("unterminated comment")
            << good + "/* no end\n\"c\" = \"3\";\n"
            << 3 << "unterminated comment" << QStringList{"a", "b"};
        QTest::newRow("stray text") << good + "\n\n= \"3\";\n\"d\" = \"4\";" << 5
                                    << "expected a key" << QStringList{"a", "b"};
        QTest::newRow("escape at end")
            << good + "\"c\" = \"3\\" << 3 << "unterminated string" << QStringList{"a", "b"};
        QTest::newRow("bad unicode escape")
            << good + "\"c\" = \"\\U12\";" << 3 << "bad \\U escape" << QStringList{"a", "b"};
        // A missing closing quote swallows the next statement's opening one;
        // the broken entry is dropped rather than shown with a wrong text.
        QTest::newRow("missing closing quote") << "\"a\" = \"1;\n\"b\" = \"2\";\n"
                                               << 2 << "expected ';'" << QStringList{};
    }
    void syntaxErrors() {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, message);
        QFETCH(QStringList, kept);
        LocalizedStrings::ParseError error;
        const auto table = LocalizedStrings::parse(text, &error);
        QCOMPARE(error.line, line);
        QVERIFY2(error.message.contains(message), qPrintable(error.message));
        QStringList keys = table.keys();
        keys.sort();
        QCOMPARE(keys, kept);
    }

    void brokenFileIsReportedOnce() {
        QTemporaryDir dir;
        const QString path = makeBundle(dir, "t", "\"a\" = \"1\";\n// fine\n\"b\" = \"unfinish");
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression("^" + QRegularExpression::escape(path) + ":3: unterminated string"));
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(lookup("a"), QStringLiteral("1"));
        QCOMPARE(lookup("b"), QStringLiteral("b"));
        QCOMPARE(lookup("b", "v"), QStringLiteral("v"));
    }

    void unreadableTextGivesKeys_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("warning");
        QTest::newRow("not utf-8") << QByteArray("\"a\" = \"\xff\xfe\";") << "is not UTF-8";
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\"a\"", 7) << ":1: expected a key";
        QTest::newRow("empty file") << QByteArray() << QString();
    }
    void unreadableTextGivesKeys() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        makeBundle(dir, "t", bytes);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QRegularExpression::escape(warning)));
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(lookup("a"), QStringLiteral("a"));
    }

    void gameCommentsTable() {
        const QString source = qEnvironmentVariable("VANTORO_SOURCE_DIR");
        if (!source.isEmpty())
            Bundle::setResourcePath(source + QStringLiteral("/resources"));
        const QString path = Bundle::pathForResource("language", "strings");
        QVERIFY2(!path.isEmpty(), "language.strings is not in the bundle");

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        LocalizedStrings::ParseError error;
        const auto table = LocalizedStrings::parse(QString::fromUtf8(file.readAll()), &error);
        QVERIFY2(error.line == 0,
                 qPrintable(QStringLiteral("line %1: %2").arg(error.line).arg(error.message)));

        QStringList keys;
        for (const char* band : {"234", "91", "92", "93", "94", "95", "96"})
            for (int n : {1, 2})
                keys << QStringLiteral("atitude_%1_%2").arg(QLatin1String(band)).arg(n);
        keys << QStringLiteral("atitude_97_1") << QStringLiteral("atitude_98_1");
        QCOMPARE(keys.size(), 16);

        QTest::failOnWarning(QRegularExpression(".*"));
        QSet<QString> texts;
        for (const QString& key : keys) {
            const QString text = LocalizedStrings::localizedStringForKey(key, {}, "language");
            QVERIFY2(!text.trimmed().isEmpty() && text != key, qPrintable(key));
            // Three lines of the status label hold about 30 characters.
            QVERIFY2(text.size() <= 30, qPrintable(key + ": " + text));
            texts.insert(text);
        }
        QCOMPARE(texts.size(), keys.size());
        QCOMPARE(table.size(), keys.size());
    }
};

QTEST_GUILESS_MAIN(TestLocalizedStrings)
#include "tst_localizedstrings.moc"
