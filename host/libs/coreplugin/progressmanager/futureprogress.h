#pragma once

#include "../core_global.h"

#include <utils/id.h>

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>

namespace Core {

// One task in the progress indicator, following a QFuture: its title, progress and cancel.
class CORE_EXPORT FutureProgress : public QObject
{
    Q_OBJECT

public:
    FutureProgress(const QFuture<void> &future, const QString &title, Utils::Id type,
                   QObject *parent = nullptr);

    QFuture<void> future() const { return m_watcher.future(); }
    QString title() const { return m_title; }
    Utils::Id type() const { return m_type; }
    void cancel() { m_watcher.future().cancel(); }

signals:
    void finished();
    void canceled();
    void progressChanged(int value, int minimum, int maximum);

private:
    QFutureWatcher<void> m_watcher;
    QString m_title;
    Utils::Id m_type;
};

} // namespace Core
