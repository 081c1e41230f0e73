#include "recordingdelegate.h"

void RecordingDelegate::waitBlewTimeOut() {
    add(QStringLiteral("timeout"));
    if (onTimeout)
        onTimeout();
}

int RecordingDelegate::count(const QString& name) const {
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [&](const Event& e) { return e.name == name; }));
}

QVector<double> RecordingDelegate::values(const QString& name) const {
    QVector<double> out;
    for (const Event& e : m_events)
        if (e.name == name)
            out.push_back(e.a);
    return out;
}
