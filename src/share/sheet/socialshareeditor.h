#pragma once

#include <QByteArray>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class SocialSnsPlatform;

// The edit-and-send screen of a network: the text to edit, a thumbnail of
// the image, "发送" and "取消". It covers its host. Sending posts the edited
// text with the image; sending and cancelling both close it and tell the UI
// delegate the outcome.
class SocialShareEditor : public QWidget {
    Q_OBJECT
public:
    SocialShareEditor(QWidget* host, const SocialSnsPlatform& platform, const QString& text,
                      const QByteArray& imagePng, QWidget* presentingController,
                      QObject* socialUIDelegate);

    // The editor on show, if any.
    static SocialShareEditor* current();

    QString platformName() const { return m_platformName; }
    QString text() const;
    void setText(const QString& text);
    QByteArray imagePng() const { return m_imagePng; }
    QPlainTextEdit* textEdit() const { return m_textEdit; }
    QLabel* thumbnail() const { return m_thumbnail; }
    QPushButton* sendButton() const { return m_sendButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    void send();
    void cancel();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutViews();
    void dismiss();

    QString m_platformName;
    QByteArray m_imagePng;
    QPointer<QWidget> m_presenting;
    QPointer<QObject> m_delegate;
    QLabel* m_title;
    QPushButton* m_cancelButton;
    QPushButton* m_sendButton;
    QPlainTextEdit* m_textEdit;
    QLabel* m_thumbnail;
    bool m_closed = false;
};
