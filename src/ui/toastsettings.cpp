#include "ui/toastsettings.h"

ToastSettings::ToastSettings(const ToastSettings& other) {
    std::unique_lock lock(other.m_mutex);
    m_duration = other.m_duration;
    m_gravity = other.m_gravity;
    m_postition = other.m_postition;
    m_toastType = other.m_toastType;
    m_fontSize = other.m_fontSize;
    m_useShadow = other.m_useShadow;
    m_cornerRadius = other.m_cornerRadius;
    m_bgRed = other.m_bgRed;
    m_bgGreen = other.m_bgGreen;
    m_bgBlue = other.m_bgBlue;
    m_bgAlpha = other.m_bgAlpha;
    m_offsetLeft = other.m_offsetLeft;
    m_offsetTop = other.m_offsetTop;
    m_positionIsSet = other.m_positionIsSet;
    const QHash<QString, QPixmap> images = other.m_images;
    const int imageLocation = other.m_imageLocation;
    lock.unlock();
    for (auto it = images.cbegin(); it != images.cend(); ++it)
        setImage(it.value(), it.key().toInt());
    setImageLocation(imageLocation);
}

ToastSettings& ToastSettings::getSharedSettings() {
    static ToastSettings shared;
    return shared;
}

void ToastSettings::setImage(const QPixmap& image, int withLocation, int forType) {
    if (forType == kTypePlain)
        return;
    std::lock_guard lock(m_mutex);
    if (!m_hasImages) {
        m_images.reserve(4);
        m_hasImages = true;
    }
    if (!image.isNull())
        m_images.insert(QString::number(forType), image);
    m_imageLocation = withLocation;
}

void ToastSettings::setImage(const QPixmap& image, int forType) {
    setImage(image, kImageLocationLeft, forType);
}

QPixmap ToastSettings::imageForType(int type) const {
    std::lock_guard lock(m_mutex);
    return m_images.value(QString::number(type));
}

QHash<QString, QPixmap> ToastSettings::images() const {
    return get(m_images);
}

int ToastSettings::duration() const {
    return get(m_duration);
}
void ToastSettings::setDuration(int duration) {
    put(m_duration, duration);
}
int ToastSettings::gravity() const {
    return get(m_gravity);
}
void ToastSettings::setGravity(int gravity) {
    put(m_gravity, gravity);
}
QPointF ToastSettings::postition() const {
    return get(m_postition);
}
void ToastSettings::setPostition(QPointF postition) {
    put(m_postition, postition);
}
int ToastSettings::toastType() const {
    return get(m_toastType);
}
void ToastSettings::setToastType(int toastType) {
    put(m_toastType, toastType);
}
float ToastSettings::fontSize() const {
    return get(m_fontSize);
}
void ToastSettings::setFontSize(float fontSize) {
    put(m_fontSize, fontSize);
}
bool ToastSettings::useShadow() const {
    return get(m_useShadow);
}
void ToastSettings::setUseShadow(bool useShadow) {
    put(m_useShadow, useShadow);
}
float ToastSettings::cornerRadius() const {
    return get(m_cornerRadius);
}
void ToastSettings::setCornerRadius(float cornerRadius) {
    put(m_cornerRadius, cornerRadius);
}
float ToastSettings::bgRed() const {
    return get(m_bgRed);
}
void ToastSettings::setBgRed(float bgRed) {
    put(m_bgRed, bgRed);
}
float ToastSettings::bgGreen() const {
    return get(m_bgGreen);
}
void ToastSettings::setBgGreen(float bgGreen) {
    put(m_bgGreen, bgGreen);
}
float ToastSettings::bgBlue() const {
    return get(m_bgBlue);
}
void ToastSettings::setBgBlue(float bgBlue) {
    put(m_bgBlue, bgBlue);
}
float ToastSettings::bgAlpha() const {
    return get(m_bgAlpha);
}
void ToastSettings::setBgAlpha(float bgAlpha) {
    put(m_bgAlpha, bgAlpha);
}
int ToastSettings::offsetLeft() const {
    return get(m_offsetLeft);
}
void ToastSettings::setOffsetLeft(int offsetLeft) {
    put(m_offsetLeft, offsetLeft);
}
int ToastSettings::offsetTop() const {
    return get(m_offsetTop);
}
void ToastSettings::setOffsetTop(int offsetTop) {
    put(m_offsetTop, offsetTop);
}
bool ToastSettings::positionIsSet() const {
    return get(m_positionIsSet);
}
void ToastSettings::setPositionIsSet(bool positionIsSet) {
    put(m_positionIsSet, positionIsSet);
}
int ToastSettings::imageLocation() const {
    return get(m_imageLocation);
}
void ToastSettings::setImageLocation(int imageLocation) {
    put(m_imageLocation, imageLocation);
}
