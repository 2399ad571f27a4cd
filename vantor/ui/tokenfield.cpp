#include "tokenfield.h"

#include "service/downloadservice.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace Vantor {
namespace Internal {

TokenField::TokenField(DownloadService *service, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
    , m_edit(new QLineEdit(this))
    , m_forget(new QToolButton(this))
{
    m_edit->setEchoMode(QLineEdit::Password);
    m_forget->setText(tr("Forget"));
    m_forget->setToolTip(tr("Removes the stored access token on Apply."));
    auto layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_forget);
    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString &text) { m_edits.insert(m_repository, text); });
    connect(m_forget, &QToolButton::clicked, this, [this] {
        m_edits.insert(m_repository, QString());
        update();
    });
    if (m_service) {
        connect(m_service, &DownloadService::stateChanged, this, [this](const QString &name, const QString &path) {
            if (path.isEmpty() && name == m_repository)
                update();
        });
    }
}

void TokenField::setRepository(const QString &name)
{
    m_repository = name;
    update();
}

void TokenField::update()
{
    const RepositoryState::Access access = m_service ? m_service->repositoryState(m_repository).access
                                                     : RepositoryState::Public;
    const bool forgotten = m_edits.contains(m_repository) && m_edits.value(m_repository).isEmpty();
    {
        const QSignalBlocker blocker(m_edit);
        m_edit->setText(m_edits.value(m_repository));
    }
    // Short texts, as the field shares the row with the drop-down; the tooltip tells the rest.
    if (access == RepositoryState::NoKeychain) {
        m_edit->setPlaceholderText(tr("No keychain"));
        m_edit->setToolTip(tr("No keychain service runs on this desktop: the access token cannot be kept, so "
                              "the repository is used without one."));
    } else {
        if (forgotten && access == RepositoryState::WithToken)
            m_edit->setPlaceholderText(tr("Forgotten on Apply"));
        else if (access == RepositoryState::WithToken)
            m_edit->setPlaceholderText(tr("Kept in the keychain"));
        else
            m_edit->setPlaceholderText(tr("Access token"));
        m_edit->setToolTip(tr("Access token of a private group, kept in the desktop's keychain. Empty: the "
                              "group is public."));
    }
    m_forget->setEnabled(access == RepositoryState::WithToken && !forgotten);
}

void TokenField::apply()
{
    if (!m_service)
        return;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        // Nothing to forget in a repository that keeps no token.
        if (!it.value().isEmpty() || m_service->repositoryState(it.key()).access == RepositoryState::WithToken)
            m_service->setToken(it.key(), it.value());
    }
    m_edits.clear();
    update();
}

} // namespace Internal
} // namespace Vantor
