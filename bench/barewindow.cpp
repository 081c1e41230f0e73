// The baseline of the start-up benchmark: a bare Qt Widgets window of the
// application's size and scale, which says when its first frame is painted,
// in the same words as the application, with the marks of its start that
// it shares with the application (main, the application object, the first
// frame).
#include "app/startupmarks.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>

namespace {

class FirstFrame : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [] {
                    StartupMarks::mark("first-frame");
                    std::fprintf(stderr, "start-up marks (monotonic ms): %s\nfirst frame painted\n",
                                 qPrintable(StartupMarks::summary()));
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    StartupMarks::mark("main");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    StartupMarks::mark("application");
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(320, 568);
    FirstFrame firstFrame;
    window.installEventFilter(&firstFrame);
    window.show();
    return app.exec();
}
