// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateNotice.h"

#include "platform/ProcessStart.h"

namespace {

void startDownload(Form5& form, const QString& downloadUrl)
{
    // Each step runs whatever became of the one before.
    startProcessDetached(QStringLiteral("xdg-open"), {downloadUrl});
    form.Timer1->setEnabled(false);
    form.close();
}

} // namespace

void UpdateNotice::open(const QString& downloadUrl)
{
    if (m_window)
        return;
    auto* form = new Form5();
    m_window = form;
    QObject::connect(form->Timer1, &WindowTimer::fired, form,
                     [form, downloadUrl] { startDownload(*form, downloadUrl); });
    form->Timer1->setEnabled(true);
    form->show();
}
