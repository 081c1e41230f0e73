#include "server/content/markdownrenderer.h"

#include <cmark.h>

QString MarkdownRenderer::toHtml(const QByteArray& markdown) {
    // The default options keep cmark's safe mode: raw HTML is replaced by a
    // comment and javascript:, vbscript:, file: and non-image data: links lose
    // their target. Article files are written by whoever can write to the
    // content folder and are served to anyone, so CMARK_OPT_UNSAFE is never set.
    char* html =
        cmark_markdown_to_html(markdown.constData(), size_t(markdown.size()), CMARK_OPT_DEFAULT);
    if (!html)
        return {};
    const QString out = QString::fromUtf8(html);
    cmark_get_default_mem_allocator()->free(html);
    return out;
}
