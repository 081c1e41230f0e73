#pragma once

#include "baseviewcontroller.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The lung test tab. For now it shows the blow detector at work, event by
// event: the state, the blow level of each poll, the running capacity and
// the final capacity with its percentile.
class BlewTestViewController : public BaseViewController {
    Q_OBJECT
public:
    explicit BlewTestViewController(QWidget* parent = nullptr);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // QMXBlewDelegate
    Q_INVOKABLE void BlowAirstart(bool started);
    Q_INVOKABLE void BlowAirupdataState(float level);
    Q_INVOKABLE void BlowCurrentTotal(int capacity);
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking);
    Q_INVOKABLE void wasInterrupt();
    Q_INVOKABLE void waitBlewTimeOut();

    QString stateText() const;
    QString resultText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void startTapped();
    void setState(const QString& text);

    QLabel* m_title = nullptr;
    QLabel* m_state = nullptr;
    QProgressBar* m_levelBar = nullptr;
    QLabel* m_level = nullptr;
    QLabel* m_running = nullptr;
    QLabel* m_result = nullptr;
    QPushButton* m_start = nullptr;
};
