#include "server/content/contentfolder.h"

#include "platform/system/bundle.h"
#include "server/content/articlefile.h"
#include "server/content/contentpoller.h"
#include "server/serverlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kArticlesFolder = QStringLiteral("articles");
const QString kRankingFile = QStringLiteral("pm25rank.json");
// The ranking is a table of a few hundred cities at most.
constexpr qsizetype kMaxRankingBytes = 1 << 20;

// Newest first; articles of one day in the order of their ids.
bool servedBefore(const Article& a, const Article& b) {
    return a.date != b.date ? a.date > b.date : a.id < b.id;
}

} // namespace

ContentFolder::ContentFolder(const QString& path, Mode mode)
    : m_path(QDir::cleanPath(path)), m_mode(mode),
      m_snapshot(std::make_shared<const ContentSnapshot>()) {
    reload();
}

ContentFolder::~ContentFolder() {
    stopWatching();
}

QString ContentFolder::samplePath() {
    return Bundle::resourcePath() + QStringLiteral("/content");
}

QString ContentFolder::path() const {
    return m_path;
}

bool ContentFolder::isSample() const {
    return m_mode == Mode::Sample;
}

std::shared_ptr<const ContentSnapshot> ContentFolder::snapshot() const {
    std::lock_guard lock(m_snapshotMutex);
    return m_snapshot;
}

QList<ContentProblem> ContentFolder::problems() const {
    return snapshot()->problems;
}

void ContentFolder::startWatching(std::chrono::milliseconds interval) {
    if (m_poller)
        return;
    m_poller = std::make_unique<ContentPoller>(interval, [this] { reload(); });
    m_poller->start();
}

void ContentFolder::stopWatching() {
    m_poller.reset();
}

void ContentFolder::reload() {
    std::lock_guard lock(m_reloadMutex);
    reloadLocked();
}

void ContentFolder::reloadLocked() {
    const QFileInfo folder(m_path);
    std::optional<ContentProblem> folderProblem;
    if (!folder.isDir() || !folder.isReadable())
        // A network mount that drops out for a moment must not empty the
        // site: what was read before stays served.
        folderProblem = ContentProblem{QString(), 0,
                                       QStringLiteral("the content folder %1 cannot be read; "
                                                      "the content read before stays served")
                                           .arg(m_path)};
    bool changed = folderProblem != m_folderProblem;
    if (changed && folderProblem)
        report(*folderProblem);
    m_folderProblem = folderProblem;
    if (!folderProblem) {
        changed = reloadArticles() || changed;
        changed = reloadRanking() || changed;
    }
    if (changed)
        publish();
}

bool ContentFolder::reloadArticles() {
    const QDir dir(m_path + u'/' + kArticlesFolder);
    std::optional<ContentProblem> folderProblem;
    if (!dir.exists())
        folderProblem = ContentProblem{kArticlesFolder, 0,
                                       QStringLiteral("no articles folder: no article is shown")};
    bool changed = folderProblem != m_articlesFolderProblem;
    if (changed && folderProblem)
        report(*folderProblem);
    m_articlesFolderProblem = folderProblem;

    const QFileInfoList files =
        dir.exists() ? dir.entryInfoList({QStringLiteral("*.md")}, QDir::Files, QDir::Name)
                     : QFileInfoList();
    QSet<QString> seen;
    for (const QFileInfo& info : files) {
        const QString file = kArticlesFolder + u'/' + info.fileName();
        seen.insert(file);
        const Stamp stamp{info.size(), info.lastModified(), info.metadataChangeTime()};
        ArticleState& state = m_articles[file];
        if (state.stamp == stamp)
            continue;
        state.stamp = stamp;
        loadArticle(file, state);
        changed = true;
    }
    for (auto it = m_articles.begin(); it != m_articles.end();) {
        if (seen.contains(it.key())) {
            ++it;
            continue;
        }
        qCInfo(lcServer).noquote() << "content:" << it.key() << "is gone";
        it = m_articles.erase(it);
        changed = true;
    }
    return changed;
}

void ContentFolder::loadArticle(const QString& file, ArticleState& state) {
    const QString id = QFileInfo(file).fileName().chopped(3);
    ContentProblem problem{file, 0, QString()};
    if (!ArticleFile::isValidId(id)) {
        // An address could not name it; nothing of it is shown.
        state.article.reset();
        problem.message = QStringLiteral("the name is not an article id (1 to 64 letters, digits, "
                                         "'_' or '-' before \".md\"); the file is skipped");
    } else if (const auto bytes = readWhole(file, &problem)) {
        ArticleFile::Error error;
        if (auto article = ArticleFile::parse(id, *bytes, &error)) {
            if (state.problem)
                qCInfo(lcServer).noquote() << "content:" << file << "is good again";
            state.article = std::move(article);
            state.problem.reset();
            return;
        }
        problem.line = error.line;
        problem.message = error.message;
    }
    if (state.article)
        problem.message += QStringLiteral(" (the last good version stays served)");
    state.problem = problem;
    report(problem);
}

bool ContentFolder::reloadRanking() {
    const QFileInfo info(m_path + u'/' + kRankingFile);
    if (!info.exists()) {
        if (m_ranking.present || !m_ranking.problem) {
            m_ranking = RankingState();
            m_ranking.problem = ContentProblem{
                kRankingFile, 0, QStringLiteral("missing: the ranking page answers 503")};
            report(*m_ranking.problem);
            return true;
        }
        return false;
    }
    const Stamp stamp{info.size(), info.lastModified(), info.metadataChangeTime()};
    if (m_ranking.present && m_ranking.stamp == stamp)
        return false;
    m_ranking.present = true;
    m_ranking.stamp = stamp;
    loadRanking();
    return true;
}

void ContentFolder::loadRanking() {
    ContentProblem problem{kRankingFile, 0, QString()};
    if (const auto bytes = readWhole(kRankingFile, &problem)) {
        RankingTable::Error error;
        if (auto table = RankingTable::parse(*bytes, &error)) {
            m_ranking.table = std::move(table);
            m_ranking.problem.reset();
            return;
        }
        problem.line = error.line;
        problem.message = error.message;
    }
    problem.message += m_ranking.table ? QStringLiteral(" (the last good ranking stays served)")
                                       : QStringLiteral(" (the ranking page answers 503)");
    m_ranking.problem = problem;
    report(problem);
}

// Only a regular file is read. The file is opened without waiting, so that
// a FIFO (or a link to one) put where a content file belongs is a listed
// problem instead of a reload, and the ranking's replacement behind it, that
// wait for a writer for ever.
std::optional<QByteArray> ContentFolder::readWhole(const QString& file,
                                                   ContentProblem* problem) const {
    const qsizetype limit = file == kRankingFile ? kMaxRankingBytes : ArticleFile::kMaxBytes;
    const QByteArray path = QFile::encodeName(m_path + u'/' + file);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem->message = QStringLiteral("cannot be read: %1").arg(qt_error_string(errno));
        return std::nullopt;
    }
    QFile in;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        problem->message = QStringLiteral("not a regular file: skipped");
        return std::nullopt;
    }
    const QByteArray bytes = in.read(limit + 1);
    if (bytes.size() > limit) {
        problem->message = QStringLiteral("larger than %1 bytes").arg(limit);
        return std::nullopt;
    }
    return bytes;
}

void ContentFolder::report(const ContentProblem& problem) const {
    const QString where = problem.file.isEmpty() ? m_path : m_path + u'/' + problem.file;
    if (problem.line > 0)
        qCWarning(lcServer).noquote()
            << QStringLiteral("%1:%2: %3").arg(where).arg(problem.line).arg(problem.message);
    else
        qCWarning(lcServer).noquote() << QStringLiteral("%1: %2").arg(where, problem.message);
}

void ContentFolder::publish() {
    auto next = std::make_shared<ContentSnapshot>();
    for (const ArticleState& state : std::as_const(m_articles))
        if (state.article)
            next->articles.append(*state.article);
    std::sort(next->articles.begin(), next->articles.end(), servedBefore);
    next->ranking = m_ranking.table;
    for (const auto& problem : {m_folderProblem, m_articlesFolderProblem})
        if (problem)
            next->problems.append(*problem);
    for (const ArticleState& state : std::as_const(m_articles))
        if (state.problem)
            next->problems.append(*state.problem);
    if (m_ranking.problem)
        next->problems.append(*m_ranking.problem);

    std::shared_ptr<const ContentSnapshot> published = std::move(next);
    std::lock_guard lock(m_snapshotMutex);
    // The old snapshot is released here or by its last reader, whichever is later.
    m_snapshot.swap(published);
}

ContentFolder::RankingUpdate ContentFolder::replaceRanking(const QByteArray& json, QString* error) {
    auto fail = [error](RankingUpdate outcome, const QString& why) {
        if (error)
            *error = why;
        return outcome;
    };
    if (m_mode == Mode::Sample)
        return fail(RankingUpdate::NotEditable,
                    QStringLiteral("the server shows its sample content; start it with --content "
                                   "DIR to keep a ranking of your own"));
    if (json.size() > kMaxRankingBytes)
        return fail(RankingUpdate::Invalid,
                    QStringLiteral("the ranking is larger than %1 bytes").arg(kMaxRankingBytes));
    RankingTable::Error parseError;
    if (!RankingTable::parse(json, &parseError))
        return fail(RankingUpdate::Invalid,
                    parseError.line > 0
                        ? QStringLiteral("line %1: %2").arg(parseError.line).arg(parseError.message)
                        : parseError.message);

    std::lock_guard lock(m_reloadMutex);
    QSaveFile file(m_path + u'/' + kRankingFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return fail(RankingUpdate::NotWritten,
                    QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    qCInfo(lcServer).noquote() << "content: the ranking was replaced," << json.size() << "bytes";
    // Read it back even if the listing looks unchanged: two replacements
    // within one clock tick can leave the same size and times.
    m_ranking.present = false;
    reloadLocked();
    return RankingUpdate::Replaced;
}
