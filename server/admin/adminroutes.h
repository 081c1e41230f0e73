#pragma once

#include "server/admin/admingate.h"
#include "server/http/httprouter.h"

class ContentFolder;
class ReportStore;
struct HttpRequest;
struct HttpResponse;

// Everything under /admin: the sign-in, the dashboard, the crash texts and
// the ranking upload. Only the sign-in answers without the token; an
// unknown path below /admin says 404 only to those who may see it.
class AdminRoutes {
public:
    AdminRoutes(AdminToken token, bool secureCookie, ReportStore& store, ContentFolder& content);

    void handle(const HttpRequest& req, HttpResponse& res);

private:
    void install();
    void dashboard(const HttpRequest& req, HttpResponse& res);
    void crashes(const HttpRequest& req, HttpResponse& res);
    void replaceRanking(const HttpRequest& req, HttpResponse& res);

    AdminGate m_gate;
    ReportStore& m_store;
    ContentFolder& m_content;
    // The sign-in, open to all; the rest, behind the gate.
    HttpRouter m_open;
    HttpRouter m_locked;
};
