#pragma once

#include "platform/Twips.h"

#include <QListWidget>
#include <QStringList>

// A file list: the regular files of one folder whose names match a pattern
// such as "*.gif;*.jpg" (matched case-insensitively), sorted naturally.
// Activating an entry (double-click or Enter) raises fileActivated().
class FileList : public QListWidget
{
    Q_OBJECT
public:
    FileList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
             const QString& pattern);

    QString path() const { return m_path; }
    void setPath(const QString& path);
    QString pattern() const { return m_patterns.join(QLatin1Char(';')); }
    // The bare name of the selected file, empty when none is selected.
    QString selectedFileName() const;
    void refresh();

Q_SIGNALS:
    void fileActivated();

private:
    QString m_path;
    QStringList m_patterns;
};
