#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
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
    // Its access token is in the desktop's keychain (the token itself never is in the settings).
    bool hasToken = false;
};

// The last failed attempt to install an example, kept so that the next start knows what to try
// again and when.
struct ExampleFailure
{
    QString kind;          // the problem's kind, by name
    int attempts = 0;      // on the day of `at`
    QDateTime at;
    QDateTime activity;    // the example's last activity on the server at the time

    bool operator==(const ExampleFailure &other) const
    {
        return kind == other.kind && attempts == other.attempts && at == other.at && activity == other.activity;
    }
};

class Settings
{
public:
    QHash<QString, QDate> updatesCheckedDate;
    quint32 updatesCheckTimeoutDays = 1;
    quint32 serviceRestartTimeoutSeconds = 60;
    QHash<QString, RepositorySettings> repositories;
    // Per repository name and example path.
    QHash<QString, QHash<QString, ExampleFailure>> failedExamples;

    void load(QSettings *settings);
    // Writes every key; the plugin's engine is the only one that saves.
    void save(QSettings *settings) const;

    // A repository name becomes a folder name and part of deletion paths; one ending in ".backup"
    // would share its folder with the backups of another repository.
    static bool isSafeName(const QString &name);

private:
    static QHash<QString, RepositorySettings> parseRepositories(const QStringList &list);
    static QStringList formatRepositories(const QHash<QString, RepositorySettings> &repositories);
    static QHash<QString, QDate> parseCheckedDates(const QStringList &list);
    static QStringList formatCheckedDates(const QHash<QString, QDate> &dates);
    static QHash<QString, QHash<QString, ExampleFailure>> parseFailures(const QStringList &list);
    static QStringList formatFailures(const QHash<QString, QHash<QString, ExampleFailure>> &failures);
};

} // namespace Internal
} // namespace Vantor
