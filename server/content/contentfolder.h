#pragma once

#include "server/content/article.h"
#include "server/content/contentproblem.h"
#include "server/content/contentsnapshot.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class ContentPoller;

// The hot-issue articles and the city ranking, read from a folder:
//   DIR/articles/<id>.md   one article each (see ArticleFile)
//   DIR/pm25rank.json      the ranking (see RankingTable)
// A file that does not parse is reported (log and problems()) and changes
// nothing that is served: an article keeps its last good version, the ranking
// its last good table, a new broken file stays unseen. A deleted file goes.
//
// Readers take snapshot() from any thread; reloads run one at a time and
// publish a new snapshot only when something changed.
class ContentFolder {
public:
    enum class Mode {
        // The operator's folder: watched, and the ranking can be replaced.
        Editable,
        // The sample content shipped in the bundle: read once, never written.
        Sample,
    };

    static constexpr std::chrono::milliseconds kPollInterval{500};

    // Reads the folder before it returns.
    explicit ContentFolder(const QString& path, Mode mode = Mode::Editable);
    ~ContentFolder();
    ContentFolder(const ContentFolder&) = delete;
    ContentFolder& operator=(const ContentFolder&) = delete;

    // The bundle's sample folder.
    static QString samplePath();

    QString path() const;
    bool isSample() const;
    std::shared_ptr<const ContentSnapshot> snapshot() const;
    QList<ContentProblem> problems() const;

    // Looks at the listing now and re-reads what changed; returns when the
    // new snapshot, if any, is published.
    void reload();
    // Reloads every interval on a thread of its own until stopWatching().
    void startWatching(std::chrono::milliseconds interval = kPollInterval);
    void stopWatching();

    enum class RankingUpdate {
        Replaced,
        // The body is not a ranking; nothing was written.
        Invalid,
        // The sample content is never written.
        NotEditable,
        // The file could not be written; the old one stays.
        NotWritten,
    };
    // Checks the body with the ranking parser, then writes it whole in place
    // of DIR/pm25rank.json and reloads, so the next page shows it. Anything
    // but Replaced comes with a reason in `error`.
    RankingUpdate replaceRanking(const QByteArray& json, QString* error);

private:
    // What the listing says of a file; a file is read again when it differs.
    struct Stamp {
        qint64 size = -1;
        QDateTime modified;
        QDateTime changed;
        bool operator==(const Stamp&) const = default;
    };
    struct ArticleState {
        Stamp stamp;
        std::optional<Article> article;
        std::optional<ContentProblem> problem;
    };
    struct RankingState {
        bool present = false;
        Stamp stamp;
        std::optional<RankingTable> table;
        std::optional<ContentProblem> problem;
    };

    void reloadLocked();
    bool reloadArticles();
    void loadArticle(const QString& file, ArticleState& state);
    bool reloadRanking();
    void loadRanking();
    std::optional<QByteArray> readWhole(const QString& file, ContentProblem* problem) const;
    void report(const ContentProblem& problem) const;
    void publish();

    const QString m_path;
    const Mode m_mode;
    std::mutex m_reloadMutex;
    // File name (articles/<name>.md) to what was read from it.
    QMap<QString, ArticleState> m_articles;
    // The folder itself could not be listed, or has no articles/ in it.
    std::optional<ContentProblem> m_folderProblem;
    std::optional<ContentProblem> m_articlesFolderProblem;
    RankingState m_ranking;

    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const ContentSnapshot> m_snapshot;

    std::unique_ptr<ContentPoller> m_poller;
};
