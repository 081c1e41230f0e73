#pragma once

#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/pages/contentpages.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <string>

// How the routes answer and read a request, in Qt's types.
inline void sendPage(HttpResponse& res, int status, const QByteArray& html) {
    res.status = status;
    res.contentType = "text/html; charset=utf-8";
    res.body = html.toStdString();
}

inline void sendPage(HttpResponse& res, int status, const std::string& html) {
    res.status = status;
    res.contentType = "text/html; charset=utf-8";
    res.body = html;
}

// An error page with the status's own title.
inline void sendError(HttpResponse& res, int status, const QString& message) {
    QString title;
    switch (status) {
    case 400:
        title = QStringLiteral("请求无效");
        break;
    case 404:
        title = QStringLiteral("页面不存在");
        break;
    case 503:
        title = QStringLiteral("服务暂不可用");
        break;
    default:
        title = QStringLiteral("出错了");
    }
    sendPage(res, status, ContentPages::error(status, title, message));
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
