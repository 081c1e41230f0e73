#pragma once

#include <QString>
#include <QStringView>

// Text a client sent, made safe to show on one line of a log or a page: a
// control character, a line or paragraph separator and a direction mark or
// override are written as \xNN or \uNNNN (and a backslash as two), so that a
// client can neither start a line of its own nor turn the text around; a
// long text is cut, saying how much was left out.
class ClientText {
public:
    static QString printable(QStringView text, qsizetype maxLength = kMaxLength);

    static constexpr qsizetype kMaxLength = 300;
};
