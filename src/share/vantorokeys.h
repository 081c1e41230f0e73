#pragma once

// The application's registration values with the share and analytics
// services. The same values are used wherever they occur.
struct VantoroKeys {
    static constexpr const char* appKey = "7c0e91d2ab4f3e6058d1c2b7";
    static constexpr const char* wechatAppId = "wx0f9e8d7c6b5a4f3e";
    static constexpr const char* qqAppId = "1109876543";
    static constexpr const char* qqAppKey = "Qx7pLm2VtR9sKd4W";
    // The share service's redirect host for Weibo single sign-on.
    static constexpr const char* sinaRedirectHost = "share.vantoro.app";
};
