#pragma once

#include <QHash>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <mutex>

// The look and placement of toasts. One shared set holds the defaults; a
// toast whose settings are changed works on its own copy of that set, so
// changing the shared set later does not reach it. Every field is read and
// written whole under a lock, the point included.
class ToastSettings {
public:
    static constexpr int kGravityTop = 1000001;
    static constexpr int kGravityBottom = 1000002;
    static constexpr int kGravityCenter = 1000003;
    // The plain type: no icon is ever stored for it.
    static constexpr int kTypePlain = -99996;
    static constexpr int kImageLocationTop = 0;
    static constexpr int kImageLocationLeft = 1;

    ToastSettings() = default;
    // Copies every field; the icons go through setImage(image, forType) and
    // the icon location is copied after them.
    ToastSettings(const ToastSettings& other);
    ToastSettings& operator=(const ToastSettings&) = delete;

    static ToastSettings& getSharedSettings();

    // Unless the type is the plain one: keeps the image under the type's
    // decimal key (a null image stores nothing) and sets the icon location.
    void setImage(const QPixmap& image, int withLocation, int forType);
    void setImage(const QPixmap& image, int forType);
    // The icon for a type, null when there is none.
    QPixmap imageForType(int type) const;
    QHash<QString, QPixmap> images() const;

    int duration() const;
    void setDuration(int duration);
    int gravity() const;
    void setGravity(int gravity);
    QPointF postition() const;
    void setPostition(QPointF postition);
    int toastType() const;
    void setToastType(int toastType);
    float fontSize() const;
    void setFontSize(float fontSize);
    bool useShadow() const;
    void setUseShadow(bool useShadow);
    float cornerRadius() const;
    void setCornerRadius(float cornerRadius);
    float bgRed() const;
    void setBgRed(float bgRed);
    float bgGreen() const;
    void setBgGreen(float bgGreen);
    float bgBlue() const;
    void setBgBlue(float bgBlue);
    float bgAlpha() const;
    void setBgAlpha(float bgAlpha);
    int offsetLeft() const;
    void setOffsetLeft(int offsetLeft);
    int offsetTop() const;
    void setOffsetTop(int offsetTop);
    bool positionIsSet() const;
    void setPositionIsSet(bool positionIsSet);
    int imageLocation() const;
    void setImageLocation(int imageLocation);

private:
    template <typename T> T get(const T& field) const {
        std::lock_guard lock(m_mutex);
        return field;
    }
    template <typename T> void put(T& field, const T& value) {
        std::lock_guard lock(m_mutex);
        field = value;
    }

    mutable std::mutex m_mutex;
    int m_duration = 1000;
    int m_gravity = kGravityCenter;
    QPointF m_postition;
    int m_toastType = 0;
    float m_fontSize = 16.0f;
    bool m_useShadow = true;
    float m_cornerRadius = 5.0f;
    float m_bgRed = 0.0f;
    float m_bgGreen = 0.0f;
    float m_bgBlue = 0.0f;
    float m_bgAlpha = 0.7f;
    int m_offsetLeft = 0;
    int m_offsetTop = 0;
    // Created on the first stored icon, as the phone's dictionary is.
    bool m_hasImages = false;
    QHash<QString, QPixmap> m_images;
    bool m_positionIsSet = false;
    int m_imageLocation = 0;
};
