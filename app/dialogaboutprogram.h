#pragma once
// "Informazioni su": logo, name, description and version of the program.

#include <QDialog>
#include <QPixmap>

class DialogAboutProgram : public QDialog
{
    Q_OBJECT

public:
    DialogAboutProgram(QWidget *parent, const QString &caption, const QPixmap &logo, const QString &name,
                       const QString &version, const QString &description);
};
