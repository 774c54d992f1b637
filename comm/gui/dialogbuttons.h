#pragma once
// The Ok / cancel row the communication dialogs end with. The texts come from
// the caller so each dialog keeps its own translation context.

#include <QBoxLayout>
#include <QPushButton>
#include <utility>

inline std::pair<QPushButton *, QPushButton *> addOkCancelRow(QWidget *dialog, QBoxLayout *layout,
                                                               const QString &okText, const QString &cancelText,
                                                               const QString &rowName = QString())
{
    auto *row = new QHBoxLayout;
    if (!rowName.isEmpty())
        row->setObjectName(rowName);
    auto *ok = new QPushButton(okText, dialog);
    ok->setObjectName(QStringLiteral("btnok"));
    auto *cancel = new QPushButton(cancelText, dialog);
    cancel->setObjectName(QStringLiteral("btncancel"));
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    return {ok, cancel};
}
