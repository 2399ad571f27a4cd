#include "gitlabbehaviour.h"

GitLabBehaviour GitLabBehaviour::delay(int milliseconds)
{
    GitLabBehaviour behaviour;
    behaviour.delayMs = milliseconds;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::reply(int status, const QByteArray &body, const QByteArray &contentType)
{
    GitLabBehaviour behaviour;
    behaviour.kind = Reply;
    behaviour.status = status;
    behaviour.body = body;
    behaviour.contentType = contentType;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::noAnswer()
{
    GitLabBehaviour behaviour;
    behaviour.kind = NoAnswer;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::closeMidBody()
{
    GitLabBehaviour behaviour;
    behaviour.kind = CloseMidBody;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::notJson()
{
    GitLabBehaviour behaviour;
    behaviour.kind = NotJson;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::noContent()
{
    GitLabBehaviour behaviour;
    behaviour.kind = NoContent;
    return behaviour;
}

GitLabBehaviour GitLabBehaviour::redirect(const QString &location)
{
    GitLabBehaviour behaviour;
    behaviour.kind = Redirect;
    behaviour.location = location;
    return behaviour;
}
