#pragma once
// The modal dialog shown while a LoggerThread works: the operation's text, a
// moving progress bar, elapsed and (during transfers) remaining time. It
// learns everything from posted events: RemainingTimeEvent from the medium,
// LoggerResultEvent from the worker. Success closes it by itself; an error
// stays on screen until "Ok". With ESC allowed (the pit-lane wait) ESC or
// "Annulla" leaves at once and emits cancelRequested.

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

class WaitDialog : public QDialog
{
    Q_OBJECT
public:
    // No close button: the dialog ends through its result or "Ok".
    static Qt::WindowFlags defaultFlags()
    {
        return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    }

    WaitDialog(const QString &message, bool escAllowed, QWidget *parent = nullptr,
               const QString &name = QStringLiteral("wait_thread"), bool modal = true,
               Qt::WindowFlags flags = defaultFlags());
    ~WaitDialog() override;

    int resultCode() const { return m_resultCode; }
    bool isRunning() const { return m_running; }
    bool cancelled() const { return m_cancelled; }
    // Milliseconds still to go as shown now: the last estimate, counted down
    // since it came so that the figure moves between slow blocks.
    qint64 remainingShownMs() const;

signals:
    void cancelRequested();

public slots:
    void cancel();

protected:
    bool event(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    static QString seconds(qint64 ms);

    QProgressBar *m_progress;
    QLabel *m_message;
    QLabel *m_detail;
    QLabel *m_elapsedCaption;
    QLabel *m_elapsed;
    QLabel *m_remainingCaption;
    QLabel *m_remaining;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    int m_timerId = 0;
    int m_ticks = 0;
    int m_resultCode = 0;
    bool m_running = true;
    bool m_escAllowed;
    bool m_cancelled = false;
    bool m_remainingShown = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceRemaining;
    qint64 m_remainingMs = 0;
};
