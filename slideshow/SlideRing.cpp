// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/SlideRing.h"

#include <limits>

#include "mainwindow/Form1.h"
#include "messenger/MessengerLink.h"
#include "platform/LastChangeStamp.h"

namespace {

void showTickInStatus(Form1& form, int position)
{
    form.Label6->setCaption(form.slot(position)->text());
    form.Label8->setCaption(lastChangeStamp(QDateTime::currentDateTime()));
    form.Label2->setCaption(QStringLiteral("Program Is Currently Active!"));
    form.Label2->setBold(false);
}

void showApplyFailure(Form1& form)
{
    form.Label14->setEnabled(false);
    form.Label2->setCaption(QStringLiteral("An error has occured. Please fill in all fields in DP area."));
    form.Label2->setBold(true);
    form.Frame2->setEnabled(true);
    // Positions 7 to 20 are left running: the ring falls back into step at position 1.
    for (int k = 1; k <= 6; ++k)
        form.slideTimer(k)->setEnabled(false);
    form.Text8->setText(QString());
}

} // namespace

int intervalMs(const Form1& form)
{
    // The interval buttons keep this within a timer's 32-bit range.
    const double ms = form.Text1->text().toDouble();
    return static_cast<int>(qBound(0.0, ms, double(std::numeric_limits<int>::max())));
}

void runSlideTick(Form1& form, int position, MessengerLink& messenger)
{
    const QString path = form.slot(position)->text();
    if (position == 1 || form.Text8->text() == form.slot(position - 1)->text()) {
        if (!messenger.applyDisplayPicture(path)) {
            showApplyFailure(form);
            return;
        }
        form.Text8->setText(path);
    }
    const int next = position == Form1::SlotCount ? 1 : position + 1;
    form.slideTimer(position)->setEnabled(false);
    if (position == Form1::SlotCount)
        form.slideTimer(1)->setPeriod(intervalMs(form));
    form.slideTimer(next)->setEnabled(true);
    showTickInStatus(form, position);
}
