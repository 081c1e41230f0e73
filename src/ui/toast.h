#pragma once

#include "ui/toastsettings.h"
#include "ui/toastview.h"

#include <QPointF>
#include <QPointer>
#include <QString>
#include <memory>

// A short text in a rounded translucent box over the key window, shown for
// a while and then faded out; a touch on the box hides it at once. Only one
// toast box is ever in the window: a new one removes the one before.
//
//   Toast::makeText("...")->setDuration(3000)->setGravity(ToastSettings::kGravityCenter)->show();
//
// The toast keeps itself alive through its timers and its box, so the caller
// may drop its pointer right after show().
class Toast : public std::enable_shared_from_this<Toast> {
public:
    // The platform's default animation length.
    static constexpr double kFadeSeconds = 0.2;
    // From the start of the fade-out to the removal of the box.
    static constexpr double kRemoveDelaySeconds = 0.5;

    static std::shared_ptr<Toast> makeText(const QString& text);

    QString text() const { return m_text; }
    // The box being shown, null before show() and after its removal.
    ToastView* view() const { return m_view; }

    // Each setter changes the toast's own settings and returns the toast.
    Toast* setDuration(int duration);
    Toast* setGravity(int gravity);
    Toast* setGravity(int gravity, int offsetLeft, int offsetTop);
    Toast* setPostion(QPointF position);
    Toast* setFontSize(float fontSize);
    Toast* setUseShadow(bool useShadow);
    Toast* setCornerRadius(float cornerRadius);
    Toast* setBgRed(float bgRed);
    Toast* setBgGreen(float bgGreen);
    Toast* setBgBlue(float bgBlue);
    Toast* setBgAlpha(float bgAlpha);

    // The toast's own settings, copied from the shared ones on first use.
    ToastSettings& theSettings();

    void show();
    void show(int type);
    void hideToast();
    void removeToast();

private:
    explicit Toast(const QString& text) : m_text(text) {}

    QString m_text;
    std::unique_ptr<ToastSettings> m_settings;
    QPointer<ToastView> m_view;
};
