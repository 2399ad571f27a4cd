#pragma once

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

struct RepositorySettings
{
    QUrl url;
    QSet<QString> removedExamples;
    // Pending changes of the options page and the last scan; never stored.
    QSet<QString> examplesToRemove;
    QSet<QString> examplesToInstall;
    QList<QFileInfo> installedManifests;
};

class Settings
{
public:
    QHash<QString, QDate> updatesCheckedDate;
    quint32 updatesCheckTimeoutDays = 1;
    quint32 serviceRestartTimeoutSeconds = 60;
    QHash<QString, RepositorySettings> repositories;
    // Per repository name, the examples whose download or installation was started and has not
    // ended in an installed example: they are tried again at the next start.
    QHash<QString, QSet<QString>> updatesPendingExamples;

    void load(QSettings *settings);
    // Writes the four keys the options page edits; the pending examples are the download
    // service's alone and are written only by savePendingExamples.
    void save(QSettings *settings) const;
    // Writes only the check dates, so that a long-lived copy does not undo other keys saved meanwhile.
    void saveCheckedDates(QSettings *settings) const;
    void savePendingExamples(QSettings *settings) const;
    // Writes every key but the check dates, so that a copy older than the last check does not
    // move them back.
    void saveExceptCheckedDates(QSettings *settings) const;

    QString repositoryName(const QUrl &url) const;

    // A repository name becomes a folder name and part of deletion paths; one ending in ".backup"
    // would share its folder with the backups of another repository.
    static bool isSafeName(const QString &name);

private:
    static QHash<QString, RepositorySettings> parseRepositories(const QStringList &list);
    static QStringList formatRepositories(const QHash<QString, RepositorySettings> &repositories);
    static QHash<QString, QDate> parseCheckedDates(const QStringList &list);
    static QStringList formatCheckedDates(const QHash<QString, QDate> &dates);
    static QHash<QString, QSet<QString>> parsePendingExamples(const QStringList &list);
    static QStringList formatPendingExamples(const QHash<QString, QSet<QString>> &pending);
};

} // namespace Internal
} // namespace Vantor
