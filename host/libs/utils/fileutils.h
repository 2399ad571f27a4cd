#pragma once

#include "utils_global.h"

#include <QMetaType>
#include <QString>

namespace Utils {

class QTCREATOR_UTILS_EXPORT FilePath
{
public:
    FilePath() = default;

    static FilePath fromString(const QString &filePath);
    static FilePath fromUserInput(const QString &filePath);

    QString toString() const { return m_data; }
    bool exists() const;
    bool isEmpty() const { return m_data.isEmpty(); }

    bool operator==(const FilePath &other) const { return m_data == other.m_data; }
    bool operator!=(const FilePath &other) const { return m_data != other.m_data; }

private:
    QString m_data;
};

} // namespace Utils

Q_DECLARE_METATYPE(Utils::FilePath)
