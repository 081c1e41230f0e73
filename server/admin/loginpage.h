#pragma once

#include <QByteArray>
#include <QString>

// The operator's sign-in form: one password field for the admin token.
class LoginPage {
public:
    // `message` (may be empty) is shown above the field.
    static QByteArray render(const QString& message);
};
