// The baseline of the start-up benchmark: a bare Qt Widgets window of the
// application's size and scale, which says when its first frame is painted,
// in the same words as the application.
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
                this, [] { std::fputs("first frame painted\n", stderr); }, Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(320, 568);
    FirstFrame firstFrame;
    window.installEventFilter(&firstFrame);
    window.show();
    return app.exec();
}
