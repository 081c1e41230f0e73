#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QWidget;
class SocialData;

// The screens' one door to sharing: one call for each thing a screen does
// with a share. Behind it the share service is called as its contract asks,
// in the same order every time; a screen that shares through the sheet is
// also the sheet's delegate and hands the share data it is given on a pick
// to the matching fill call. Main thread only.
class Sharing {
public:
    enum class Network { WechatChat, WechatMoments, SinaWeibo };

    // "wxsession", "wxtimeline" or "sina", the share service's names.
    static QString platformName(Network network);
    // The sheet's networks in the order it shows them.
    static QStringList sheetNetworks();

    // PNG of the whole window at the main screen's size, with a copy in the
    // photo album; written to no file.
    static QByteArray screenshot();

    // Takes the screenshot, keeps it in "screenShow.png" for the fill calls,
    // and opens the sheet of the three networks over the window, with the
    // screenshot as image and `screen` as the delegate that the pick goes to.
    static void presentSheet(QWidget* screen);

    // On a pick from the lung test's sheet: its result and the comment on its
    // card, shared with the landing-page link that QQ and WeChat then carry.
    static void fillLungTestShare(SocialData* picked, int capacity, int percent,
                                  const QString& comment, const QString& commentKey);
    // On a pick from the ranking page's sheet: WeChat carries the ranking
    // page's link; QQ keeps whatever link it had.
    static void fillRankingShare(SocialData* picked, const QString& rankingLink);

    // The title of the next WeChat and QQ messages, whatever screen sends them.
    static void setSharedTitle(const QString& title);

    // Posts the text with a fresh screenshot to one network at once, without
    // a sheet; the WeChat networks carry `link`, Weibo the link the text
    // ends with. The outcome is the share service's to show.
    static void post(QWidget* screen, Network network, const QString& text, const QString& link);

    // Takes a screenshot and opens Weibo's edit-and-send screen over `screen`
    // with the text; the outcome goes to the screen's
    // didFinishGetSocialDataInViewController. The WeChat link is left alone.
    static void openWeiboEditor(QWidget* screen, const QString& text);
};
