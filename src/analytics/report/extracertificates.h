#pragma once

#include <QList>
#include <QSslCertificate>

// Certificates a run is told to trust beside the system's, through the
// variables OpenSSL's own tools read: SSL_CERT_FILE names a file of one or
// more PEM certificates, SSL_CERT_DIR folders of them (separated by ':').
// Qt reads only the system's folders, so a content server whose certificate
// comes from a private authority (a company's own, or a test's) is trusted
// this way, for this run only, without touching the system's store.
class ExtraCertificates {
public:
    // The certificates those variables name; a warning for each name that
    // holds none, so that a mistyped path does not pass for a refusal.
    static QList<QSslCertificate> fromEnvironment();
    // Adds them to the process's default TLS configuration on the first
    // call; later calls do nothing.
    static void trustOnce();
};
