#include "platform/uikit/applicationstatenotifier.h"

#include "platform/system/applicationnotifications.h"
#include "platform/system/notificationcenter.h"

#include <QGuiApplication>

namespace {
void post(const QString& name) {
    NotificationCenter::defaultCenter().postNotificationName(name, qApp);
}
} // namespace

ApplicationStateNotifier::ApplicationStateNotifier(QObject* parent) : QObject(parent) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            &ApplicationStateNotifier::stateChanged);
    connect(qGuiApp, &QCoreApplication::aboutToQuit, this, &ApplicationStateNotifier::aboutToQuit);
    if (QGuiApplication::applicationState() == Qt::ApplicationActive)
        stateChanged(Qt::ApplicationActive);
}

void ApplicationStateNotifier::stateChanged(Qt::ApplicationState state) {
    const bool active = state == Qt::ApplicationActive;
    if (active == m_active || m_terminated)
        return;
    m_active = active;
    post(active ? ApplicationNotifications::didBecomeActive()
                : ApplicationNotifications::willResignActive());
}

void ApplicationStateNotifier::aboutToQuit() {
    if (m_terminated)
        return;
    if (m_active)
        post(ApplicationNotifications::willResignActive());
    m_active = false;
    m_terminated = true;
    post(ApplicationNotifications::willTerminate());
}
