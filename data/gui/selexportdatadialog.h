#pragma once
// The export dialog opened after a download and by the dump conversion: the
// format (MDF 3.30, 2D or MDF 4.10 tab), the event (a folder under the
// format's base folder) and the measurement name, then the save with the
// format's writer. Both MDF tabs share the MDF base folder and its events.

#include "decodedatalogged.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class IniFile;
class LoggerProtocol;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QVBoxLayout;
class QTextEdit;

// Event list, new and deleted events: the part both pages share.
class EventPage : public QWidget
{
    Q_OBJECT
public:
    EventPage(const QString &base, const QString &remembered, QWidget *parent);
    QString currentEvent() const;
    QComboBox *events() const { return m_events; }

public slots:
    void aggiungiEvento();
    void cancellaEvento();

protected:
    // The page's main layout, opened with the event row and the measurement caption.
    QVBoxLayout *eventLayout();
    void fillEvents();
    virtual void eventsChanged() = 0;
    virtual QString newEventCaption() const = 0;
    virtual QString newEventLabel() const = 0;

    QString m_base, m_remembered, m_event;
    QComboBox *m_events = nullptr;
    QPushButton *m_newEvent = nullptr, *m_delEvent = nullptr;
};

class PathSel2DFormat : public EventPage
{
    Q_OBJECT
public:
    PathSel2DFormat(const QString &base, IniFile *settings, QWidget *parent);
    QString measurePath() const;
    QStringList commentLines() const;
    void refresh();

public slots:
    void cambiaNomeMisura();
    void aggiornaMisure(const QString &event);

private:
    void eventsChanged() override;
    QString newEventCaption() const override;
    QString newEventLabel() const override;
    QPushButton *m_measure = nullptr;
    QTextEdit *m_comment = nullptr;
};

class SelMDFFormat : public EventPage
{
    Q_OBJECT
public:
    // version4: the MDF 4.10 page (".mf4", its own last event key).
    SelMDFFormat(const QString &base, QString *target, IniFile *settings, QWidget *parent, bool version4 = false);
    QString project() const;
    QString subject() const;
    QString comment() const;
    void setComment(const QString &text);
    bool isVersion4() const { return m_version4; }
    QString lastEventKey() const;
    // Reads the events again; a name already chosen stays when its event does.
    void refresh();

public slots:
    void cambiaAbsFilename();
    void aggiornaMisure(const QString &event);

private:
    void eventsChanged() override;
    QString newEventCaption() const override;
    QString newEventLabel() const override;
    void proposeName();
    void showTarget();   // the target's file name in the button, the path as its tip
    QString extension() const;
    IniFile *m_settings;
    QString *m_target;
    bool m_version4;
    int m_rule;
    QString m_description;
    QPushButton *m_fileName = nullptr;
    QLineEdit *m_project = nullptr, *m_measObj = nullptr;
    QTextEdit *m_comment = nullptr;
};

class SelExportDataDialog : public QDialog
{
    Q_OBJECT
public:
    SelExportDataDialog(IniFile *settings, LoggerProtocol *protocol, QWidget *parent = nullptr,
                        const char *name = "selExportDataDialog", bool modal = true, Qt::WindowFlags f = {});
    ~SelExportDataDialog() override;

    // Writes the measurement of the current tab; false when nothing was written.
    bool save();
    // Presets the comment of both MDF tabs; the texts read back are those of
    // the MDF tab current at the save (the MDF 3.30 one otherwise).
    void setMdfComment(const QString &text);
    QString project() const;
    QString subject() const;
    QString comment() const;
    QString lastError() const { return m_error; }

public slots:
    void updateTab(int index);

private:
    std::function<void(qint64, qint64)> progress(const QString &label);
    SelMDFFormat *textPage() const;

    std::unique_ptr<DecodeDataLogged> m_decoder;
    LoggerProtocol *m_protocol;
    PathSel2DFormat *m_2d = nullptr;
    SelMDFFormat *m_mdf = nullptr, *m_mdf4 = nullptr;
    QString m_base2D, m_target, m_target4, m_defaultFormat;
    IniFile *m_settings;
    QTabWidget *m_tabs = nullptr;
    QString m_error;
};
