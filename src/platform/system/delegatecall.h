#pragma once

#include <QMetaObject>
#include <QObject>

// "Does the delegate answer this operation?": services skip an operation that
// their delegate does not implement as an invokable method.
class DelegateCall {
public:
    // `signature` is normalised, e.g. "BlowAirOver(int,int)".
    static bool responds(const QObject* delegate, const char* signature) {
        return delegate && delegate->metaObject()->indexOfMethod(signature) >= 0;
    }
};
