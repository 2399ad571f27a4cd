#include "settings.h"

#include "logging.h"

#include <QSettings>

namespace Vantor {
namespace Internal {

namespace {

const char groupKey[] = "Vantor";
const char checkedDateKey[] = "UpdatesCheckedDate";
const char checkTimeoutKey[] = "UpdatesCheckTimeoutDays";
const char restartTimeoutKey[] = "ServiceRestartTimeoutSeconds";
const char repositoriesKey[] = "Repositories";
const char failuresKey[] = "UpdatesFailedExamples";
// Names of the repositories whose token is in the keychain: the others never ask it, so that a public
// repository does not make the desktop unlock its keychain.
const char tokensKey[] = "RepositoriesWithToken";
// Written by an earlier version: examples started and not installed, tried again like interrupted ones.
const char oldPendingKey[] = "UpdatesPendingExamples";
const char dateFormat[] = "dd.MM.yyyy";
const QChar separator = QLatin1Char('|');

} // namespace

void Settings::load(QSettings *settings)
{
    qCDebug(pluginLog) << "Settings:" << settings->fileName();

    updatesCheckTimeoutDays = 1;
    serviceRestartTimeoutSeconds = 60;
    repositories.clear();

    settings->beginGroup(QLatin1String(groupKey));
    if (settings->contains(QLatin1String(checkedDateKey)))
        updatesCheckedDate = parseCheckedDates(settings->value(QLatin1String(checkedDateKey)).toStringList());
    if (settings->contains(QLatin1String(checkTimeoutKey)))
        updatesCheckTimeoutDays = settings->value(QLatin1String(checkTimeoutKey)).toUInt();
    if (settings->contains(QLatin1String(restartTimeoutKey)))
        serviceRestartTimeoutSeconds = settings->value(QLatin1String(restartTimeoutKey)).toUInt();
    failedExamples = parseFailures(settings->value(QLatin1String(failuresKey)).toStringList());
    const QStringList oldPending = settings->value(QLatin1String(oldPendingKey)).toStringList();
    for (const QString &item : oldPending) {
        const QStringList fields = item.split(separator);
        for (int i = 1; i < fields.size(); ++i) {
            if (!fields.at(0).isEmpty() && !fields.at(i).isEmpty())
                failedExamples[fields.at(0)].insert(fields.at(i), ExampleFailure());
        }
    }

    if (!settings->contains(QLatin1String(repositoriesKey))) {
        qCDebug(pluginLog) << "Settings does not contain variable:" << QString::fromLatin1(repositoriesKey);
        settings->endGroup();
        return;
    }
    repositories = parseRepositories(settings->value(QLatin1String(repositoriesKey)).toStringList());
    for (const QString &name : settings->value(QLatin1String(tokensKey)).toStringList()) {
        if (repositories.contains(name))
            repositories[name].hasToken = true;
    }
    if (repositories.isEmpty())
        qCDebug(pluginLog) << "Empty or invalid settings. Check variable:" << QString::fromLatin1(repositoriesKey);
    settings->endGroup();
}

void Settings::save(QSettings *settings) const
{
    settings->beginGroup(QLatin1String(groupKey));
    settings->setValue(QLatin1String(checkedDateKey), formatCheckedDates(updatesCheckedDate));
    settings->setValue(QLatin1String(checkTimeoutKey), updatesCheckTimeoutDays);
    settings->setValue(QLatin1String(restartTimeoutKey), serviceRestartTimeoutSeconds);
    settings->setValue(QLatin1String(repositoriesKey), formatRepositories(repositories));
    const QStringList failures = formatFailures(failedExamples);
    if (failures.isEmpty())
        settings->remove(QLatin1String(failuresKey));
    else
        settings->setValue(QLatin1String(failuresKey), failures);
    settings->remove(QLatin1String(oldPendingKey));
    QStringList withToken;
    for (auto it = repositories.cbegin(); it != repositories.cend(); ++it) {
        if (it->hasToken)
            withToken.append(it.key());
    }
    withToken.sort();
    if (withToken.isEmpty())
        settings->remove(QLatin1String(tokensKey));
    else
        settings->setValue(QLatin1String(tokensKey), withToken);
    settings->endGroup();
    settings->sync();
}

bool Settings::isSafeName(const QString &name)
{
    // ".backup" in any letter case: some file systems do not tell them apart.
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && !name.endsWith(QLatin1String(".backup"), Qt::CaseInsensitive);
}

QHash<QString, RepositorySettings> Settings::parseRepositories(const QStringList &list)
{
    QHash<QString, RepositorySettings> result;
    QList<QUrl> urls;
    for (const QString &item : list) {
        if (item.isEmpty())
            continue;
        const QStringList fields = item.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (fields.size() < 2 || fields.at(1).isEmpty() || !isSafeName(fields.at(0))) {
            qCDebug(pluginLog) << "Skipping wrong setting in item:" << item;
            continue;
        }
        const QString &name = fields.at(0);
        if (result.contains(name)) {
            qCDebug(pluginLog) << "Skipping duplicated repository name in item:" << item;
            continue;
        }
        const QUrl url(fields.at(1), QUrl::TolerantMode);
        if (urls.contains(url)) {
            qCDebug(pluginLog) << "Skipping duplicated repository url in item:" << item;
            continue;
        }
        urls.append(url);
        RepositorySettings repository;
        repository.url = url;
        for (int i = 2; i < fields.size(); ++i)
            repository.removedExamples.insert(fields.at(i));
        result.insert(name, repository);
    }
    return result;
}

QStringList Settings::formatRepositories(const QHash<QString, RepositorySettings> &repositories)
{
    QStringList result;
    for (auto it = repositories.cbegin(); it != repositories.cend(); ++it) {
        const QSet<QString> &removed = it.value().removedExamples;
        const QStringList removedList(removed.cbegin(), removed.cend());
        result.append(QString::fromLatin1("%1%4%2%4%3")
                          .arg(it.key(), it.value().url.toString(), removedList.join(separator),
                               QString(separator)));
    }
    return result;
}

QHash<QString, QDate> Settings::parseCheckedDates(const QStringList &list)
{
    QHash<QString, QDate> result;
    for (const QString &item : list) {
        if (item.isEmpty())
            continue;
        const QStringList fields = item.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (fields.size() != 2) {
            qCDebug(pluginLog) << "Skipping wrong setting in item:" << item;
            continue;
        }
        if (result.contains(fields.at(0))) {
            qCDebug(pluginLog) << "Skipping duplicated repository name in item:" << item;
            continue;
        }
        result.insert(fields.at(0), QDate::fromString(fields.at(1), QLatin1String(dateFormat)));
    }
    return result;
}

QStringList Settings::formatCheckedDates(const QHash<QString, QDate> &dates)
{
    QStringList result;
    for (auto it = dates.cbegin(); it != dates.cend(); ++it) {
        result.append(QString::fromLatin1("%1%2%3")
                          .arg(it.key(), QString(separator), it.value().toString(QLatin1String(dateFormat))));
    }
    return result;
}

// Entries: repository name, example path, kind, attempts, time and the example's activity (ISO 8601).
QHash<QString, QHash<QString, ExampleFailure>> Settings::parseFailures(const QStringList &list)
{
    QHash<QString, QHash<QString, ExampleFailure>> result;
    for (const QString &item : list) {
        if (item.isEmpty())
            continue;
        const QStringList fields = item.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (fields.size() != 6 || fields.at(0).isEmpty() || fields.at(1).isEmpty()) {
            qCDebug(pluginLog) << "Skipping wrong setting in item:" << item;
            continue;
        }
        ExampleFailure failure;
        failure.kind = fields.at(2);
        failure.attempts = qMax(0, fields.at(3).toInt());
        failure.at = QDateTime::fromString(fields.at(4), Qt::ISODate);
        failure.activity = QDateTime::fromString(fields.at(5), Qt::ISODate);
        result[fields.at(0)].insert(fields.at(1), failure);
    }
    return result;
}

QStringList Settings::formatFailures(const QHash<QString, QHash<QString, ExampleFailure>> &failures)
{
    QStringList result;
    for (auto repository = failures.cbegin(); repository != failures.cend(); ++repository) {
        for (auto it = repository->cbegin(); it != repository->cend(); ++it) {
            result.append(QStringList{repository.key(), it.key(), it->kind, QString::number(it->attempts),
                                      it->at.toString(Qt::ISODate), it->activity.toString(Qt::ISODate)}
                              .join(separator));
        }
    }
    result.sort();
    return result;
}

} // namespace Internal
} // namespace Vantor
