#include "server/admin/loginpage.h"

#include "server/pages/contentpages.h"

QByteArray LoginPage::render(const QString& message) {
    const QString note =
        message.isEmpty()
            ? QString()
            : QStringLiteral("<p class=\"note\">%1</p>").arg(ContentPages::escape(message));
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<meta name=\"robots\" content=\"noindex\">\n"
               "<title>Vantoro 运营后台登录</title>\n<style>"
               "body{margin:0;font-family:\"Noto Sans CJK SC\",\"WenQuanYi Micro Hei\",sans-serif;"
               "background:#f2f5f7;color:#222}"
               "form{max-width:360px;margin:80px auto;background:#fff;border-radius:8px;"
               "padding:24px;box-shadow:0 1px 3px rgba(0,0,0,.12)}"
               "h1{font-size:20px;margin:0 0 16px;color:#2e8b57}"
               "label{display:block;font-size:14px;margin-bottom:6px}"
               "input{width:100%;box-sizing:border-box;padding:8px;font-size:15px;"
               "border:1px solid #ccc;border-radius:4px}"
               "button{margin-top:14px;width:100%;padding:9px;font-size:15px;border:0;"
               "border-radius:4px;background:#2e8b57;color:#fff}"
               ".note{color:#b03a2e;font-size:14px}"
               "</style>\n</head>\n<body>\n"
               "<form method=\"post\" action=\"/admin/login\">"
               "<h1>Vantoro 运营后台</h1>%1"
               "<label for=\"token\">管理令牌 (admin token)</label>"
               "<input id=\"token\" name=\"token\" type=\"password\" "
               "autocomplete=\"current-password\" "
               "required autofocus>"
               "<button type=\"submit\">登录</button></form>\n</body>\n</html>\n")
        .arg(note)
        .toUtf8();
}
