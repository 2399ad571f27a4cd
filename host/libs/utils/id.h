#pragma once

#include "utils_global.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

namespace Utils {

class QTCREATOR_UTILS_EXPORT Id
{
public:
    Id() = default;
    Id(const char *name) : m_name(name) {}

    static Id fromString(const QString &name) { return Id(name.toUtf8().constData()); }

    QByteArray name() const { return m_name; }
    QString toString() const { return QString::fromUtf8(m_name); }
    bool isValid() const { return !m_name.isEmpty(); }

    bool operator==(const Id &other) const { return m_name == other.m_name; }
    bool operator!=(const Id &other) const { return m_name != other.m_name; }
    bool operator<(const Id &other) const { return m_name < other.m_name; }

private:
    QByteArray m_name;
};

} // namespace Utils

Q_DECLARE_METATYPE(Utils::Id)
