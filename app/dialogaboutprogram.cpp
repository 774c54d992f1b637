#include "dialogaboutprogram.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DialogAboutProgram::DialogAboutProgram(QWidget *parent, const QString &caption, const QPixmap &logo,
                                       const QString &name, const QString &version, const QString &description)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("orv_about_box"));
    setWindowTitle(caption);

    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("mainvlayout"));
    main->setContentsMargins(11, 11, 11, 11);
    main->setSpacing(6);
    main->setSizeConstraint(QLayout::SetFixedSize);

    auto *row = new QHBoxLayout();
    row->setObjectName(QStringLiteral("abouthlayout"));
    row->setSpacing(6);
    auto *logoLabel = new QLabel(this);
    logoLabel->setObjectName(QStringLiteral("lblcompanylogo"));
    logoLabel->setPixmap(logo);
    row->addWidget(logoLabel);

    auto *labels = new QVBoxLayout();
    labels->setObjectName(QStringLiteral("labelsvlayout"));
    labels->setSpacing(6);
    auto *nameLabel = new QLabel(name, this);
    nameLabel->setObjectName(QStringLiteral("lblnameappl"));
    QFont nameFont(QApplication::font().family(), QApplication::font().pointSize() + 1);
    nameFont.setBold(true);
    nameLabel->setFont(nameFont);
    labels->addWidget(nameLabel);
    if (!description.isNull()) {
        auto *descriptionLabel = new QLabel(description, this);
        descriptionLabel->setObjectName(QStringLiteral("lbldescrappl"));
        labels->addWidget(descriptionLabel);
    }
    auto *versionLabel = new QLabel(tr("Version : ") + version, this);
    versionLabel->setObjectName(QStringLiteral("lblversappl"));
    labels->addWidget(versionLabel);
    row->addLayout(labels);
    main->addLayout(row);

    main->addSpacing(7);
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("frmlineseparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    main->addWidget(line);

    auto *ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("btnok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    main->addWidget(ok, 0, Qt::AlignHCenter);
}
