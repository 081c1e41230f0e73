#pragma once

#include "share/transport/sharetransport.h"

#include <QString>

// Keeps every post as a pair of files in an outbox folder: NAME.json with
// platform, title, text, link, image file name and time, and NAME.png with
// the image. Both are written atomically, the image first, so a record that
// can be read always has its image.
class OutboxShareTransport : public ShareTransport {
public:
    // Documents/outbox unless a folder is set.
    OutboxShareTransport() = default;
    explicit OutboxShareTransport(const QString& folder) : m_folder(folder) {}

    QString name() const override { return QStringLiteral("outbox"); }
    bool send(const SharePost& post, QWidget* presentingController) override;

    QString folder() const;
    void setFolder(const QString& folder) { m_folder = folder; }
    // The record written by the last successful send.
    QString lastFile() const { return m_lastFile; }

private:
    QString m_folder;
    QString m_lastFile;
};
