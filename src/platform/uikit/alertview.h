#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QLabel;

// A system-style alert laid over the key window: a title, a message and a
// row of buttons. A tap on a button closes it and tells the delegate which
// one, through its invokable `alertView(AlertView*,int)`; the cancel button
// has index 0. It never blocks the caller.
class AlertView : public QWidget {
    Q_OBJECT
public:
    AlertView(const QString& title, const QString& message, QObject* delegate,
              const QString& cancelButtonTitle, const QStringList& otherButtonTitles);
    ~AlertView() override;

    void show();
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    QString title() const { return m_title; }
    QStringList buttonTitles() const { return m_buttons; }

    // What a tap on the button does.
    void clickButtonAtIndex(int index);

    // The alert on screen, if any.
    static AlertView* current();

    static constexpr const char* kDelegateSignature = "alertView(AlertView*,int)";

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect panelRect() const;
    void buildButtons();

    QString m_title;
    QString m_message;
    QPointer<QObject> m_delegate;
    QStringList m_buttons;
    int m_tag = 0;
};
