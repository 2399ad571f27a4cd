#pragma once

#include "../core_global.h"

#include <utils/id.h>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace Core {

class CORE_EXPORT IOptionsPageWidget : public QWidget
{
    Q_OBJECT

public:
    virtual void apply() = 0;
    virtual void finish() {}
};

class CORE_EXPORT IOptionsPage : public QObject
{
    Q_OBJECT

public:
    explicit IOptionsPage(QObject *parent = nullptr, bool registerGlobally = true);
    ~IOptionsPage() override;

    static const QList<IOptionsPage *> allOptionsPages();

    Utils::Id id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    Utils::Id category() const { return m_category; }

    virtual QWidget *widget();
    virtual void apply();
    virtual void finish();

    using WidgetCreator = std::function<IOptionsPageWidget *()>;

protected:
    void setId(Utils::Id id) { m_id = id; }
    void setDisplayName(const QString &displayName) { m_displayName = displayName; }
    void setCategory(Utils::Id category) { m_category = category; }
    void setWidgetCreator(const WidgetCreator &widgetCreator);

private:
    Utils::Id m_id;
    Utils::Id m_category;
    QString m_displayName;
    WidgetCreator m_widgetCreator;
    QPointer<QWidget> m_widget;
};

} // namespace Core
