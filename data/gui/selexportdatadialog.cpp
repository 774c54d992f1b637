#include "selexportdatadialog.h"

#include "exportnaming.h"
#include "inifile.h"
#include "loggerprotocol.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "protocoldownload.h"
#include "writer2d.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

QLabel *label(const QString &text, const char *name, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The event of a measurement path: its second-to-last component.
QString eventOf(const QString &path)
{
    const QStringList parts = QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts[parts.size() - 2] : QString();
}

} // namespace

EventPage::EventPage(const QString &base, const QString &remembered, QWidget *parent)
    : QWidget(parent), m_base(base), m_remembered(remembered)
{
    m_events = new QComboBox(this);
    m_events->setObjectName(QStringLiteral("cmboxEvents"));
    m_newEvent = new QPushButton(tr("Nuovo evento"), this);
    m_newEvent->setObjectName(QStringLiteral("btnNewEvent"));
    m_delEvent = new QPushButton(tr("Cancella evento"), this);
    m_delEvent->setObjectName(QStringLiteral("btnDelEvent"));
    connect(m_newEvent, &QPushButton::clicked, this, &EventPage::aggiungiEvento);
    connect(m_delEvent, &QPushButton::clicked, this, &EventPage::cancellaEvento);
}

QVBoxLayout *EventPage::eventLayout()
{
    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("vMainLayout"));
    main->addWidget(label(tr("Evento corrente :"), "lblTxtActualEvent", this));
    auto *row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("hSelEventBtnLayout"));
    row->addWidget(m_events, 1);
    row->addWidget(m_newEvent);
    row->addWidget(m_delEvent);
    main->addLayout(row);
    main->addWidget(label(tr("Nome Misura"), "lblTxtMeasureName", this));
    return main;
}

QString EventPage::currentEvent() const
{
    return m_events->currentText();
}

void EventPage::fillEvents()
{
    const QStringList events = ExportNaming::events(m_base);
    const QSignalBlocker block(m_events);
    m_events->clear();
    if (events.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Brisca"), tr("Questa directory non contiene eventi!\nAggiungere un evento!"));
        m_delEvent->setEnabled(false);
        aggiungiEvento();
        return;
    }
    m_delEvent->setEnabled(true);
    m_events->addItems(events);
    const int remembered = events.indexOf(m_remembered);
    m_events->setCurrentIndex(remembered >= 0 ? remembered : int(events.size()) - 1);
    eventsChanged();
}

void EventPage::aggiungiEvento()
{
    bool ok = false;
    QString name = QInputDialog::getText(this, newEventCaption(), newEventLabel(), QLineEdit::Normal,
                                         QStringLiteral("default"), &ok);
    if (!ok || name.isEmpty()) {
        if (m_events->count() > 0)
            return;
        name = QStringLiteral("default");
    }
    QDir().mkpath(m_base + QLatin1Char('/') + name);
    {
        const QSignalBlocker block(m_events);
        if (m_events->findText(name) < 0)
            m_events->addItem(name);
        m_events->setCurrentIndex(m_events->findText(name));
    }
    if (m_events->count() == 1)
        m_delEvent->setEnabled(true);
    m_event = name;
    eventsChanged();
}

void EventPage::cancellaEvento()
{
    if (m_events->count() <= 1) {
        QMessageBox::information(this, QStringLiteral("Brisca"), tr("Deve esistere almeno un evento nella directory dei dati."));
        return;
    }
    const QString event = m_events->currentText();
    if (QMessageBox::question(this, QStringLiteral("Brisca"),
                              tr("Stai per cancellare l'evento :") + event + tr("\nVuoi procedere?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString dir = m_base + QLatin1Char('/') + event;
    if (ExportNaming::removeContent(dir) && QDir(m_base).rmdir(event)) {
        {
            const QSignalBlocker block(m_events);
            m_events->removeItem(m_events->currentIndex());
        }
        m_event = m_events->currentText();
        eventsChanged();
    }
}

PathSel2DFormat::PathSel2DFormat(const QString &base, IniFile *settings, QWidget *parent)
    : EventPage(base, settings->value(QStringLiteral("LastEvent_2D"), QStringLiteral(".")), parent)
{
    setObjectName(QStringLiteral("pathSel2DFormat"));
    QVBoxLayout *main = eventLayout();
    m_measure = new QPushButton(this);
    m_measure->setObjectName(QStringLiteral("btnMeasure"));
    main->addWidget(m_measure);
    main->addWidget(label(tr("Commenti :"), "lblTxtComment", this));
    m_comment = new QTextEdit(this);
    m_comment->setObjectName(QStringLiteral("txtEdComment"));
    m_comment->setAcceptRichText(false);
    main->addWidget(m_comment);
    connect(m_measure, &QPushButton::clicked, this, &PathSel2DFormat::cambiaNomeMisura);
    connect(m_events, &QComboBox::currentTextChanged, this, &PathSel2DFormat::aggiornaMisure);

    m_measure->setText(ExportNaming::measure2D(settings->intValue(QStringLiteral("FilenameFormat2D"), 0),
                                               settings->value(QStringLiteral("FilenameDescr2D"), QStringLiteral("none")),
                                               QDateTime::currentDateTime()));
    fillEvents();
}

QString PathSel2DFormat::measurePath() const
{
    return native(m_base + QLatin1Char('/') + m_events->currentText() + QLatin1Char('/') + m_measure->text()
                  + QStringLiteral(".mes"));
}

QStringList PathSel2DFormat::commentLines() const
{
    return ExportNaming::commentLines(m_comment->toPlainText());
}

void PathSel2DFormat::refresh()
{
    fillEvents();
}

void PathSel2DFormat::eventsChanged()
{
    m_measure->setToolTip(measurePath());
}

QString PathSel2DFormat::newEventCaption() const
{
    return tr("Brisca - 2D");
}

QString PathSel2DFormat::newEventLabel() const
{
    return tr("Inserire il nome del nuovo evento 2D:");
}

void PathSel2DFormat::cambiaNomeMisura()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Brisca"), tr("Inserire il nome della misura :"),
                                               QLineEdit::Normal, m_measure->text(), &ok);
    if (ok && !name.isEmpty()) {
        m_measure->setText(name);
        m_measure->setToolTip(measurePath());
    }
}

void PathSel2DFormat::aggiornaMisure(const QString &)
{
    m_measure->setToolTip(measurePath());
}

namespace {
// Until the first MDF 4.10 save, the MDF 4.10 tab opens on the last MDF event.
QString rememberedMdfEvent(IniFile *settings, bool version4)
{
    const QString mdf = settings->value(QStringLiteral("LastEvent_MDF"), QStringLiteral("."));
    return version4 ? settings->value(QStringLiteral("LastEvent_MDF4"), mdf) : mdf;
}
} // namespace

SelMDFFormat::SelMDFFormat(const QString &base, QString *target, IniFile *settings, QWidget *parent, bool version4)
    : EventPage(base, rememberedMdfEvent(settings, version4), parent), m_settings(settings), m_target(target),
      m_version4(version4), m_rule(settings->intValue(QStringLiteral("FilenameFormatMDF"), 0)),
      m_description(settings->value(QStringLiteral("FilenameDescrMDF"), QStringLiteral("none")))
{
    setObjectName(version4 ? QStringLiteral("selMDF4Format") : QStringLiteral("selMDFFormat"));
    QVBoxLayout *main = eventLayout();
    m_fileName = new QPushButton(this);
    m_fileName->setObjectName(QStringLiteral("btnChangeFilename"));
    main->addWidget(m_fileName);
    auto field = [&](const char *layoutName, QWidget *title, QWidget *edit) {
        auto *l = new QVBoxLayout;
        l->setObjectName(QLatin1String(layoutName));
        l->addWidget(title);
        l->addWidget(edit);
        main->addLayout(l);
    };
    m_project = new QLineEdit(this);
    m_project->setObjectName(QStringLiteral("lnEdProject"));
    m_project->setMaxLength(32);
    field("vProjectLayout", label(tr("Progetto :"), "lblTxtProject", this), m_project);
    m_measObj = new QLineEdit(this);
    m_measObj->setObjectName(QStringLiteral("lnEdMeasObj"));
    m_measObj->setMaxLength(32);
    field("vMeasObjLayout", label(tr("Info Misura :"), "lblTxtMeasObj", this), m_measObj);
    m_comment = new QTextEdit(this);
    m_comment->setObjectName(QStringLiteral("txtEdComment"));
    m_comment->setAcceptRichText(false);
    field("vCommentsLayout", label(tr("Commenti :"), "lblTxtComments", this), m_comment);
    connect(m_fileName, &QPushButton::clicked, this, &SelMDFFormat::cambiaAbsFilename);
    connect(m_events, &QComboBox::currentTextChanged, this, &SelMDFFormat::aggiornaMisure);

    fillEvents();
    if (m_remembered == QLatin1String(".") || !QFileInfo(m_base + QLatin1Char('/') + m_remembered).isDir()
        || m_events->currentText() != m_remembered)
        m_event = m_events->currentText();
    else
        m_event = m_remembered;
    proposeName();
}

QString SelMDFFormat::extension() const
{
    return m_version4 ? QStringLiteral(".mf4") : QStringLiteral(".mdf");
}

QString SelMDFFormat::lastEventKey() const
{
    return m_version4 ? QStringLiteral("LastEvent_MDF4") : QStringLiteral("LastEvent_MDF");
}

void SelMDFFormat::refresh()
{
    const QString event = m_event, target = *m_target;
    m_remembered = event;
    fillEvents();
    if (m_event == event && !target.isEmpty()) {
        *m_target = target;
        showTarget();
    }
}

void SelMDFFormat::showTarget()
{
    m_fileName->setText(QFileInfo(QDir::fromNativeSeparators(*m_target)).fileName());
    m_fileName->setToolTip(*m_target);
}

void SelMDFFormat::proposeName()
{
    const QString dir = m_base + QLatin1Char('/') + m_event;
    const QString name = ExportNaming::measureMdf(m_rule, m_description, dir, QDateTime::currentDateTime(), extension());
    if (!name.isEmpty())
        *m_target = native(dir + QLatin1Char('/') + name);
    showTarget();
}

void SelMDFFormat::eventsChanged()
{
    if (m_fileName) {
        m_event = m_events->currentText();
        proposeName();
    }
}

QString SelMDFFormat::newEventCaption() const
{
    return m_version4 ? tr("Brisca - MDF 4.10") : tr("Brisca - MDF");
}

QString SelMDFFormat::newEventLabel() const
{
    return m_version4 ? tr("Inserire il nome del nuovo evento MDF 4.10 :") : tr("Inserire il nome del nuovo evento MDF :");
}

void SelMDFFormat::cambiaAbsFilename()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Brisca"), tr("Inserire il nome della misura :"),
                                               QLineEdit::Normal, m_fileName->text().section(QLatin1Char('.'), 0, 0), &ok);
    if (!ok || name.isEmpty())
        return;
    m_fileName->setText(name + extension());
    *m_target = native(QFileInfo(QDir::fromNativeSeparators(*m_target)).path() + QLatin1Char('/') + name + extension());
    m_fileName->setToolTip(*m_target);
}

void SelMDFFormat::aggiornaMisure(const QString &event)
{
    m_event = event;
    proposeName();
}

QString SelMDFFormat::project() const { return m_project->text(); }
QString SelMDFFormat::subject() const { return m_measObj->text(); }
QString SelMDFFormat::comment() const { return m_comment->toPlainText(); }
void SelMDFFormat::setComment(const QString &text) { m_comment->setPlainText(text); }

SelExportDataDialog::SelExportDataDialog(IniFile *settings, LoggerProtocol *protocol, QWidget *parent, const char *name,
                                         bool modal, Qt::WindowFlags f)
    : QDialog(parent, f), m_protocol(protocol), m_settings(settings)
{
    setObjectName(QLatin1String(name));
    setModal(modal);
    m_base2D = settings->value(QStringLiteral("LastPath_2D"), QStringLiteral("."));
    m_target = settings->value(QStringLiteral("LastPath_MDF"), QStringLiteral("."));
    m_target4 = m_target;
    m_defaultFormat = settings->value(QStringLiteral("DefaultFormat"), QStringLiteral("MDF")).toLower();

    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(false);   // the dialog grows until the three tabs show
    layout->addWidget(m_tabs);
    m_mdf = new SelMDFFormat(m_target, &m_target, settings, m_tabs);
    m_tabs->addTab(m_mdf, tr("Formato MDF"));
    m_2d = new PathSel2DFormat(m_base2D, settings, m_tabs);
    m_tabs->addTab(m_2d, tr("Formato 2D"));
    // Made after the MDF page, which has already asked for an event if the folder had none.
    m_mdf4 = new SelMDFFormat(m_target4, &m_target4, settings, m_tabs, true);
    m_tabs->addTab(m_mdf4, tr("Formato MDF 4.10"));
    m_tabs->setCurrentWidget(m_defaultFormat == QLatin1String("mdf")    ? static_cast<QWidget *>(m_mdf)
                             : m_defaultFormat == QLatin1String("mdf4") ? static_cast<QWidget *>(m_mdf4)
                                                                        : m_2d);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SelExportDataDialog::updateTab);

    auto *row = new QHBoxLayout;
    auto *ok = new QPushButton(tr("Salva"), this);
    ok->setObjectName(QStringLiteral("btnSave"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(tr("Annulla"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

SelExportDataDialog::~SelExportDataDialog() = default;

void SelExportDataDialog::updateTab(int index)
{
    // The MDF 4.10 page shows events made meanwhile on the MDF page.
    if (m_tabs->widget(index) == m_2d)
        m_2d->refresh();
    else if (m_tabs->widget(index) == m_mdf4)
        m_mdf4->refresh();
}

SelMDFFormat *SelExportDataDialog::textPage() const
{
    return m_tabs->currentWidget() == m_mdf4 ? m_mdf4 : m_mdf;
}

void SelExportDataDialog::setMdfComment(const QString &text)
{
    m_mdf->setComment(text);
    m_mdf4->setComment(text);
}
QString SelExportDataDialog::project() const { return textPage()->project(); }
QString SelExportDataDialog::subject() const { return textPage()->subject(); }
QString SelExportDataDialog::comment() const { return textPage()->comment(); }

std::function<void(qint64, qint64)> SelExportDataDialog::progress(const QString &text)
{
    // Shown only when the export takes longer than half a second.
    auto *bar = new QProgressDialog(text, QString(), 0, 1000, this);
    bar->setWindowTitle(windowTitle());
    bar->setMinimumDuration(500);
    bar->setAutoClose(true);
    bar->setAttribute(Qt::WA_DeleteOnClose);
    bar->setValue(0);
    return [bar](qint64 done, qint64 total) {
        bar->setValue(total > 0 ? int(done * 1000 / total) : 1000);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 100);
    };
}

bool SelExportDataDialog::save()
{
    m_error.clear();
    QWidget *page = m_tabs->currentWidget();
    if (page != m_2d && page != m_mdf && page != m_mdf4)
        return true;
    if ((page == m_mdf && m_target.isEmpty()) || (page == m_mdf4 && m_target4.isEmpty()))
        return false;
    m_decoder = std::make_unique<DecodeDataLogged>(loggedDownload(*m_protocol));
    bool ok;
    QString target;
    if (page == m_2d) {
        target = m_2d->measurePath();
        const QString dir = QDir::fromNativeSeparators(target);
        if (QFileInfo(dir).isDir())
            ExportNaming::removeContent(dir);
        else
            QDir().mkpath(dir);
        Writer2D w(*m_decoder);
        w.setComment(m_2d->commentLines());
        w.setProgress(progress(tr("Salvataggio della misura 2D...")));
        ok = w.write(dir);
        m_error = w.errorString();
    } else if (page == m_mdf) {
        target = m_target;
        // The measurement folders are made on first use, not at start-up.
        QDir().mkpath(QFileInfo(QDir::fromNativeSeparators(target)).path());
        MdfWriter w(*m_decoder);
        w.setTexts(m_mdf->project(), m_mdf->subject(), m_mdf->comment());
        w.setProgress(progress(tr("Salvataggio della misura MDF...")));
        ok = w.write(QDir::fromNativeSeparators(target));
        m_error = w.errorString();
    } else {
        target = m_target4;
        QDir().mkpath(QFileInfo(QDir::fromNativeSeparators(target)).path());
        Mdf4Writer w(*m_decoder);
        w.setTexts(m_mdf4->project(), m_mdf4->subject(), m_mdf4->comment());
        w.setProgress(progress(tr("Salvataggio della misura MDF 4.10...")));
        ok = w.write(QDir::fromNativeSeparators(target));
        m_error = w.errorString();
    }
    if (!ok) {
        QMessageBox::critical(parentWidget() ? parentWidget() : this, QStringLiteral("Brisca"),
                              tr("Impossibile salvare la misura:\n") + m_error);
        return false;
    }
    m_settings->setValue(page == m_2d ? QStringLiteral("LastEvent_2D") : static_cast<SelMDFFormat *>(page)->lastEventKey(),
                         eventOf(target));
    m_settings->write();
    return true;
}
