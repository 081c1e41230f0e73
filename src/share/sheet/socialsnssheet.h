#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QPushButton;

// The share sheet: a dimmed backdrop over the whole window and a panel at the
// bottom with one icon per network and a cancel button. Picking an icon, the
// cancel button, a tap outside the panel and Escape all close it.
class SocialSnsSheet : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelHeight = 176;
    static constexpr int kIconSide = 60;

    // `snsNames` in the order of the icons; names the service does not know
    // are left out.
    SocialSnsSheet(QWidget* window, const QStringList& snsNames);

    // The sheet on show, if any.
    static SocialSnsSheet* current();

    QStringList platformNames() const { return m_names; }
    QAbstractButton* iconButton(const QString& platformName) const;
    QPushButton* cancelButton() const { return m_cancelButton; }
    QWidget* panel() const { return m_panel; }

    // As a tap on the network's icon; false when the sheet does not show it.
    bool pick(const QString& platformName);
    void cancel();

signals:
    // Emitted after the sheet has closed.
    void platformPicked(const QString& platformName);
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutPanel();
    void dismiss();

    QStringList m_names;
    QWidget* m_panel;
    QMap<QString, QAbstractButton*> m_icons;
    QPushButton* m_cancelButton;
    bool m_closed = false;
};
