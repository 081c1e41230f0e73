#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

// The chat app's stand-in on the desktop: a card over the window with a QR
// code of the post's link for the phone to scan, a heading and a note. A null
// code image leaves the code out and the card holds the heading and the note
// only; the card is as tall as its note needs. A tap anywhere, or its close
// button, closes it.
class ShareQrPanel : public QWidget {
    Q_OBJECT
public:
    ShareQrPanel(QWidget* window, const QString& heading, const QImage& qrImage,
                 const QString& note);

    // The panel on show, if any; a new one replaces it.
    static ShareQrPanel* current();
    void close();

    QImage qrImage() const { return m_qrImage; }
    QString heading() const;
    QString note() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutCard();
    int noteHeight() const;

    QImage m_qrImage;
    QWidget* m_card;
    QLabel* m_heading;
    QLabel* m_code;
    QLabel* m_note;
    QPushButton* m_closeButton;
};
