#include "platform/ProcessStart.h"

#include <QProcess>

void startProcessDetached(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}
