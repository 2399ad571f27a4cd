#pragma once

#include <coreplugin/dialogs/ioptionspage.h>

#include <QPointer>

namespace TestSupport {

// An options page that counts what is done to it and to its widget.
class TestOptionsPage : public Core::IOptionsPage
{
public:
    struct Counts
    {
        int created = 0;
        int applied = 0;
        int finished = 0;
    };

    class Widget : public Core::IOptionsPageWidget
    {
    public:
        explicit Widget(Counts *counts) : m_counts(counts) {}
        void apply() override { ++m_counts->applied; }
        void finish() override { ++m_counts->finished; }

    private:
        Counts *m_counts = nullptr;
    };

    TestOptionsPage(const char *id, const QString &name, const char *category, bool registerGlobally = true)
        : Core::IOptionsPage(nullptr, registerGlobally)
    {
        setId(id);
        setDisplayName(name);
        setCategory(category);
        setWidgetCreator([this] {
            ++counts.created;
            return (lastWidget = new Widget(&counts)).data();
        });
    }

    Counts counts;
    QPointer<Widget> lastWidget; // the one created last
};

} // namespace TestSupport
