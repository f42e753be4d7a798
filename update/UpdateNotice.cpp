#include "update/UpdateNotice.h"

#include <QPointer>

#include "platform/ProcessStart.h"
#include "update/Form5.h"

namespace {

QPointer<Form5> notice;

void startDownload(Form5& form, const QString& downloadUrl)
{
    // Each step runs whatever became of the one before.
    startProcessDetached(QStringLiteral("xdg-open"), {downloadUrl});
    form.Timer1->setEnabled(false);
    form.close();
}

} // namespace

void openUpdateNotice(const QString& downloadUrl)
{
    if (notice)
        return;
    notice = new Form5();
    Form5* form = notice;
    QObject::connect(form->Timer1, &WindowTimer::fired, form,
                     [form, downloadUrl] { startDownload(*form, downloadUrl); });
    form->Timer1->setEnabled(true);
    form->show();
}

Form5* updateNotice()
{
    return notice;
}
