// Any file in the content folder's articles, read as an article: its header,
// then its Markdown rendered to HTML. A file that is refused says why and on
// which of its lines; one that is taken has every field its pages show.
#include "fuzz/fuzzcheck.h"
#include "server/content/articlefile.h"

#include <cstddef>
#include <cstdint>

namespace {

// What the id promises the pages that put it into an address.
bool isAddressSafe(const QString& id) {
    static const QString allowed =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-");
    for (QChar c : id)
        if (!allowed.contains(c))
            return false;
    return !id.isEmpty() && id.size() <= 64;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The same bytes as a file's name: an id that is taken is a safe part of an address.
    const QString name = QString::fromUtf8(bytes);
    if (ArticleFile::isValidId(name))
        FUZZ_CHECK(isAddressSafe(name));

    ArticleFile::Error error;
    const std::optional<Article> article =
        ArticleFile::parse(QStringLiteral("fuzz"), bytes, &error);
    if (!article) {
        FUZZ_CHECK(!error.message.isEmpty());
        FUZZ_CHECK(error.line >= 0 && error.line <= bytes.count('\n') + 2);
        return 0;
    }
    FUZZ_CHECK(!article->title.isEmpty() && !article->tag.isEmpty() && !article->summary.isEmpty());
    FUZZ_CHECK(article->date.isValid());
    FUZZ_CHECK(article->id == QLatin1String("fuzz"));
    return 0;
}
