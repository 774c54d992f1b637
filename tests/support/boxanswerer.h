#pragma once
// Answers every message box that opens while it lives, remembering its text
// and title, and accepts every input dialog with its proposed text, so GUI
// tests can run code that asks the user and never wait on a modal window.

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *input = qobject_cast<QInputDialog *>(modal)) {
                texts << input->labelText();
                titles << input->windowTitle();
                input->accept();
            }
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box)
                return;
            texts << box->text();
            titles << box->windowTitle();
            QAbstractButton *b = box->button(m_answer);
            if (!b)
                b = box->buttons().value(0);
            b->click();
        });
        m_timer.start(5);
    }
    QStringList texts;
    QStringList titles;

private:
    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};
