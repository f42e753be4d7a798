// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateQuery.h"

#include "mainwindow/Form1.h"
#include "platform/HttpTransfer.h"
#include "update/UpdateNotice.h"
#include "update/UpdateServer.h"

namespace {

constexpr qsizetype MaxAnswerBytes = 64 * 1024;

// Names under ".invalid" never resolve; asking a resolver about them could
// only cost time.
bool neverResolves(const QString& host)
{
    const QString name = host.section(QLatin1Char(':'), 0, 0);
    return name.endsWith(QStringLiteral(".invalid")) || name == QStringLiteral("invalid");
}

} // namespace

void queryForUpdate(Form1& form, const UpdateServer& server, UpdateNotice& notice)
{
    if (neverResolves(server.host))
        return;
    const Outcome<HttpAnswer> answer = httpGet(server.updateUrl(), server.timeoutSeconds, MaxAnswerBytes);
    // An error page is no answer: only a successful one is read.
    if (!answer || answer.value().status < 200 || answer.value().status > 299)
        return;
    form.Text26->setText(QString::fromUtf8(answer.value().body));
    if (form.Text26->text() != QStringLiteral("no update"))
        notice.open(server.downloadUrl());
}
