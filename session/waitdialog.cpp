#include "waitdialog.h"

#include "loggerthread.h"
#include "remainingtimeevent.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const int kTickMs = 10;
}

WaitDialog::WaitDialog(const QString &message, bool escAllowed, QWidget *parent, const QString &name, bool modal,
                       Qt::WindowFlags flags)
    : QDialog(parent, flags), m_escAllowed(escAllowed)
{
    setObjectName(name);
    setModal(modal);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress_bar"));
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(250, m_progress->sizeHint().height());
    m_message = new QLabel(message, this);
    m_message->setObjectName(QStringLiteral("lblmsg"));
    m_message->setAlignment(Qt::AlignCenter);
    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("lbldetail"));
    m_detail->setAlignment(Qt::AlignCenter);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detail->hide();
    m_elapsedCaption = new QLabel(tr("Tempo trascorso (s) :"), this);
    m_elapsedCaption->setObjectName(QStringLiteral("lbltxtseconds"));
    m_elapsed = new QLabel(QStringLiteral("0.00"), this);
    m_elapsed->setObjectName(QStringLiteral("lblseconds"));
    m_remainingCaption = new QLabel(tr("Tempo rimanente (s) :"), this);
    m_remainingCaption->setObjectName(QStringLiteral("lblTxtEstimatedSeconds"));
    m_remaining = new QLabel(QStringLiteral("0.00"), this);
    m_remaining->setObjectName(QStringLiteral("lblEstimatedSeconds"));
    m_ok = new QPushButton(tr("Ok"), this);
    m_ok->setObjectName(QStringLiteral("btnok"));
    m_ok->setEnabled(false);
    m_ok->setAutoDefault(false);
    m_cancel = new QPushButton(tr("Annulla"), this);
    m_cancel->setObjectName(QStringLiteral("btn_cancel"));
    m_cancel->setAutoDefault(false);
    m_cancel->setVisible(escAllowed);

    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("mainvlayout"));
    main->setContentsMargins(11, 11, 11, 11);
    main->setSpacing(6);
    auto *elapsedRow = new QHBoxLayout;
    elapsedRow->setObjectName(QStringLiteral("seconds_h_layout"));
    elapsedRow->setSpacing(6);
    elapsedRow->addWidget(m_elapsedCaption);
    elapsedRow->addWidget(m_elapsed);
    auto *remainingRow = new QHBoxLayout;
    remainingRow->setObjectName(QStringLiteral("estimatedTimeHLayout"));
    remainingRow->setSpacing(6);
    remainingRow->addWidget(m_remainingCaption);
    remainingRow->addWidget(m_remaining);
    main->addWidget(m_message, 0, Qt::AlignHCenter);
    main->addWidget(m_detail, 0, Qt::AlignHCenter);
    main->addWidget(m_progress, 0, Qt::AlignHCenter);
    main->addLayout(elapsedRow);
    main->setAlignment(elapsedRow, Qt::AlignHCenter);
    main->addLayout(remainingRow);
    main->setAlignment(remainingRow, Qt::AlignHCenter);
    main->addWidget(m_ok, 0, Qt::AlignHCenter);
    main->addWidget(m_cancel, 0, Qt::AlignHCenter);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &WaitDialog::cancel);

    m_timerId = startTimer(kTickMs);
    m_clock.start();
    m_remainingCaption->hide();
    m_remaining->hide();
    if (escAllowed) {
        m_elapsedCaption->hide();
        m_elapsed->hide();
    }
}

WaitDialog::~WaitDialog() = default;

QString WaitDialog::seconds(qint64 ms) { return QString::number(ms * 0.001, 'f', 1); }

qint64 WaitDialog::remainingShownMs() const
{
    if (!m_remainingShown)
        return 0;
    return qMax<qint64>(0, m_remainingMs - m_sinceRemaining.elapsed());
}

void WaitDialog::cancel()
{
    if (!m_escAllowed || !m_running)
        return;
    m_resultCode = -1;
    m_running = false;
    m_cancelled = true;
    m_cancel->setEnabled(false);
    emit cancelRequested();
}

bool WaitDialog::event(QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        // Every key is consumed: neither ESC nor Enter may end the dialog
        // through the base class.
        if (static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape)
            cancel();
        return true;
    }
    if (e->type() == LoggerResultEvent::EventType) {
        auto *result = static_cast<LoggerResultEvent *>(e);
        if (m_cancelled)
            return true;
        m_message->setText(result->message());
        if (!result->detail().isEmpty()) {
            m_detail->setText(result->detail());
            m_detail->show();
        }
        m_resultCode = result->code();
        if (m_resultCode >= -1)
            m_running = false;
        return true;
    }
    if (e->type() == RemainingTimeEvent::EventType) {
        m_remainingMs = static_cast<RemainingTimeEvent *>(e)->remainingMs();
        m_sinceRemaining.start();
        m_remainingCaption->show();
        m_remaining->show();
        m_remainingShown = true;
        return true;
    }
    return QDialog::event(e);
}

void WaitDialog::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != m_timerId) {
        QDialog::timerEvent(e);
        return;
    }
    if (m_running) {
        ++m_ticks;
        m_progress->setValue(m_ticks % (m_progress->maximum() + 1));
        m_elapsed->setText(seconds(m_clock.elapsed()));
        if (m_remainingShown)
            m_remaining->setText(seconds(remainingShownMs()));
        return;
    }
    killTimer(m_timerId);
    m_timerId = 0;
    if (m_resultCode == -1) {
        accept();
    } else {
        m_cancel->hide();
        m_ok->setEnabled(true);
        m_ok->setDefault(true);
        m_ok->setFocus();
    }
}

void WaitDialog::closeEvent(QCloseEvent *e)
{
    // Only the result or "Ok" may end the dialog while the worker runs.
    if (m_running || !m_ok->isEnabled())
        e->ignore();
    else
        QDialog::closeEvent(e);
}
