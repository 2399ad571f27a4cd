#pragma once

#include "problem.h"

#include <QCoreApplication>

QT_BEGIN_NAMESPACE
class QNetworkReply;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// The guards every transfer of the client runs under, and what a transfer that ended means for the
// user. Servers choose what they send and how fast: none may hold a transfer for ever, nor send
// more than the body limit. The texts keep the client's translation context.
class TransferGuard
{
    Q_DECLARE_TR_FUNCTIONS(Vantor::Internal::ApiClient)

public:
    // Aborts the reply when it stalls, trickles below the minimum rate, or announces or brings a
    // body over the limit. Its timers live in the reply's thread.
    static void watch(QNetworkReply *reply);
    // Aborts the reply as one whose body grew past the limit.
    static void refuseTooLarge(QNetworkReply *reply);
    // The problem of a finished reply; none when it succeeded.
    static Problem problem(const QNetworkReply &reply);
};

} // namespace Internal
} // namespace Vantor
