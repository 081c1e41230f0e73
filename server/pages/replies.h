#pragma once

#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// How the routes answer and read a request, in Qt's types.
inline void sendPage(HttpResponse& res, int status, const QByteArray& html) {
    res.status = status;
    res.contentType = "text/html; charset=utf-8";
    res.body = html.toStdString();
}

inline void sendJson(HttpResponse& res, int status, const QJsonObject& object) {
    res.status = status;
    res.contentType = "application/json; charset=utf-8";
    res.body = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// The parameter's first value, or a null string when the request has none.
inline QString param(const HttpRequest& req, const char* name) {
    return req.hasParam(name) ? QString::fromStdString(req.param(name)) : QString();
}
