#include "server/store/pgplaceholders.h"

#include <cstring>

namespace {

// The index just past a quoted run that starts at `i` and ends at the
// quote `q` (a doubled quote is one character of the run).
qsizetype pastQuoted(const char* sql, qsizetype n, qsizetype i, char q) {
    for (++i; i < n; ++i) {
        if (sql[i] != q)
            continue;
        if (i + 1 < n && sql[i + 1] == q)
            ++i;
        else
            return i + 1;
    }
    return n;
}

qsizetype pastComment(const char* sql, qsizetype n, qsizetype i) {
    if (sql[i + 1] == '-') {
        while (i < n && sql[i] != '\n')
            ++i;
        return i;
    }
    const char* end = std::strstr(sql + i + 2, "*/");
    return end ? (end - sql) + 2 : n;
}

} // namespace

QByteArray PgPlaceholders::translate(const char* sql, int* count) {
    const qsizetype n = qsizetype(std::strlen(sql));
    QByteArray out;
    out.reserve(n + 16);
    *count = 0;
    qsizetype i = 0;
    while (i < n) {
        const char c = sql[i];
        qsizetype next = i + 1;
        if (c == '\'' || c == '"')
            next = pastQuoted(sql, n, i, c);
        else if ((c == '-' && sql[i + 1] == '-') || (c == '/' && sql[i + 1] == '*'))
            next = pastComment(sql, n, i);
        if (c == '?') {
            out += '$' + QByteArray::number(++*count);
        } else {
            out.append(sql + i, next - i);
        }
        i = next;
    }
    return out;
}
