#include "app/runoptions.h"

#include <QRegularExpression>

namespace {

bool parseScreen(const QString& value, RunOptions& options) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{2,4})x(\d{2,4})(?:@([1-3](?:\.\d+)?))?$)"));
    const auto match = pattern.match(value);
    if (!match.hasMatch())
        return false;
    options.screenSize = QSizeF(match.captured(1).toInt(), match.captured(2).toInt());
    if (match.hasCaptured(3))
        options.screenScale = match.captured(3).toDouble();
    return true;
}

bool parseContentBase(const QString& value, RunOptions& options) {
    const QUrl url(value, QUrl::StrictMode);
    const bool http =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !http || url.host().isEmpty())
        return false;
    options.contentBase = url;
    return true;
}

} // namespace

RunOptions RunOptions::parse(const QStringList& arguments) {
    RunOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.showHelp = true;
        } else if (arg == QLatin1String("--level-trace") && hasValue) {
            options.levelTracePath = arguments[++i];
        } else if (arg == QLatin1String("--record-levels") && hasValue) {
            options.recordLevelsDir = arguments[++i];
        } else if (arg == QLatin1String("--screen") && hasValue) {
            if (!parseScreen(arguments[++i], options))
                options.error = QStringLiteral("--screen wants WxH or WxH@scale, e.g. 375x667@2");
        } else if (arg == QLatin1String("--content-base") && hasValue) {
            if (!parseContentBase(arguments[++i], options))
                options.error = QStringLiteral("--content-base wants an http(s) URL with a host");
        } else if (arg.startsWith(QLatin1String("--"))) {
            options.error = QStringLiteral("unknown or incomplete option %1").arg(arg);
        } else if (options.openUrl.isEmpty()) {
            options.openUrl = QUrl(arg);
        } else {
            options.error = QStringLiteral("more than one URL given: %1").arg(arg);
        }
        if (!options.error.isEmpty())
            break;
    }
    if (options.error.isEmpty() && !options.levelTracePath.isEmpty() &&
        !options.recordLevelsDir.isEmpty())
        options.error = QStringLiteral("--record-levels records the microphone; it cannot go "
                                       "with --level-trace");
    return options;
}

QString RunOptions::usage() {
    return QStringLiteral(
        "usage: vantoro [--level-trace FILE | --record-levels DIR] [--screen WxH@scale]\n"
        "               [--content-base URL] [URL]\n"
        "  --level-trace FILE   replay meter levels (lines of \"seconds dB\") instead of the "
        "microphone\n"
        "  --record-levels DIR  write the levels of every microphone recording to a new file "
        "in DIR,\n"
        "                       in the form --level-trace replays\n"
        "  --screen WxH@scale   the phone screen in points and its scale (default 320x568@2)\n"
        "  --content-base URL   the content server to load pages from and link to\n"
        "  URL                  a URL handed to the application, as a share hand-back\n");
}
