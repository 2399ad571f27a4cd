#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QToolButton;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class DownloadService;

// The access token of the repository chosen on the options page: a password field (empty: public)
// and a button that forgets the stored token. It shows whether a token is kept and whether the
// desktop has a keychain at all; the tokens typed are handed to the engine on apply, never shown again.
class TokenField : public QWidget
{
    Q_OBJECT

public:
    explicit TokenField(DownloadService *service, QWidget *parent = nullptr);

    void setRepository(const QString &name);
    void apply();

private:
    void update();

    DownloadService *const m_service;
    QLineEdit *m_edit = nullptr;
    QToolButton *m_forget = nullptr;
    QString m_repository;
    QHash<QString, QString> m_edits; // per repository, what the user typed; empty: forget it
};

} // namespace Internal
} // namespace Vantor
