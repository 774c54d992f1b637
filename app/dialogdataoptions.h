#pragma once
// "Opzioni": general and export settings of the settings file. Edits stay in
// the dialog until Ok, which writes them all at once.

#include <QDialog>

class IniFile;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class DialogDataOptions : public QDialog
{
    Q_OBJECT

public:
    DialogDataOptions(IniFile *settings, QWidget *parent = nullptr, const QString &name = QString(),
                      bool modal = true, Qt::WindowFlags flags = Qt::WindowFlags());

    // The folder chooser; replaceable so that checks need no user.
    using DirectoryChooser = QString (*)(QWidget *parent, const QString &start);
    static void setDirectoryChooser(DirectoryChooser chooser);

private slots:
    void cambiaPath2D();
    void cambiaPathMDF();
    void cambiaPathDevices();
    void cambiaFormatoNomeFileMDF(int i);
    void cambiaFormatoNomeFile2D(int i);
    void cambiaStatoAutoCanc(int state);
    void selDefaultFormat(int id);
    void cambiaFreeDescr(const QString &text);
    void cambiaFreeDescr2D(const QString &text);
    void cambiaAutore(const QString &text);
    void cambiaAzienda(const QString &text);

protected slots:
    void accept() override;

private:
    void choosePath(QString &field, QPushButton *button);
    static void showPath(QPushButton *button, const QString &path);

    IniFile *m_settings;
    QString m_programDir;
    QString m_path2D;
    QString m_pathMDF;
    QString m_defaultFormat;
    QString m_freeDescrMDF;
    QString m_freeDescr2D;
    QString m_author;
    QString m_organization;
    QString m_pathDevices;
    QString m_pathDevicesAtOpen;
    int m_deleteAfterDownload = 1;
    int m_fileNameFormatMDF = 0;
    int m_fileNameFormat2D = 0;

    QPushButton *m_btnPathDevices = nullptr;
    QPushButton *m_btnPath2D = nullptr;
    QPushButton *m_btnPathMDF = nullptr;
    QLabel *m_lblDescr2D = nullptr;
    QLineEdit *m_edDescr2D = nullptr;
    QLabel *m_lblDescrMDF = nullptr;
    QLineEdit *m_edDescrMDF = nullptr;
};
