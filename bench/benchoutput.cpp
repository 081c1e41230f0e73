#include "benchoutput.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>

void benchPrint(const std::string& key, double value, const char* note) {
    std::printf("%-40s %10.3f%s%s\n", key.c_str(), value, *note ? "  " : "", note);
}

void runEventLoop(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}
