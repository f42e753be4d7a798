// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/NewSlideShow.h"

#include <QPointer>

#include "editing/Form4.h"
#include "mainwindow/Form1.h"

namespace {

const QString DontAsk = QStringLiteral("test");

// Clearing steps 1 to 5; the caller disables "Activate!" at its own moment.
void clearSlideShow(Form1& form)
{
    form.List1->removeAllLines();
    form.Label9->setCaption(QStringLiteral("0"));
    form.Label23->setCaption(QString::number(form.List1->lineCount()));
    for (int k = 1; k <= Form1::SlotCount; ++k)
        form.slot(k)->setText(QString());
    form.File1->setEnabled(true);
}

void bringToFront(Form1& form)
{
    form.show();
    form.raise();
    form.activateWindow();
}

void rememberWhetherToAsk(Form1& form, bool dontAsk)
{
    form.Text25->setText(dontAsk ? DontAsk : QString());
}

void cancelNewSlideShow(Form4& dialog, Form1& form)
{
    form.setEnabled(true);
    form.Command7->setEnabled(true);
    closeAnswered(dialog);
    bringToFront(form);
}

void confirmNewSlideShow(Form4& dialog, Form1& form)
{
    clearSlideShow(form);
    closeAnswered(dialog);
    bringToFront(form);
    form.Command2->setEnabled(false);
    form.setEnabled(true);
}

} // namespace

void startNewSlideShow(Form1& form)
{
    if (form.Text25->text() == DontAsk) {
        clearSlideShow(form);
        form.Command2->setEnabled(false);
        return;
    }
    form.Command7->setEnabled(false);
    form.setEnabled(false);

    auto* dialog = new Form4();
    // The main window may be gone meanwhile (the sign-in watchdog closes it);
    // the dialog then only closes.
    QPointer<Form1> main(&form);
    QObject::connect(dialog->Check1, &QCheckBox::clicked, dialog, [main](bool ticked) {
        if (main)
            rememberWhetherToAsk(*main, ticked);
    });
    QObject::connect(dialog->Command1, &QPushButton::clicked, dialog, [dialog, main] {
        if (main)
            cancelNewSlideShow(*dialog, *main);
        else
            closeAnswered(*dialog);
    });
    QObject::connect(dialog->Command2, &QPushButton::clicked, dialog, [dialog, main] {
        if (main)
            confirmNewSlideShow(*dialog, *main);
        else
            closeAnswered(*dialog);
    });
    dialog->show();
}
