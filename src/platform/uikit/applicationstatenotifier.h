#pragma once

#include <QObject>

// Posts the application's activation changes to the notification centre:
// becoming active, resigning active, and, when the application quits, a
// resignation (if it was still active, as a phone does when an application
// is closed from the foreground) followed by the termination.
class ApplicationStateNotifier : public QObject {
    Q_OBJECT
public:
    explicit ApplicationStateNotifier(QObject* parent = nullptr);

private:
    void stateChanged(Qt::ApplicationState state);
    void aboutToQuit();

    bool m_active = false;
    bool m_terminated = false;
};
