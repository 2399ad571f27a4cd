// A small stand-in for the IDE: it loads the plugins of its plugin folder through the plugin
// manager, shows the Welcome screen's examples and the options dialog, and has a headless mode
// that lists the examples for scripts and tests.

#include "examplesreader.h"
#include "hostmeter.h"
#include "idlewatcher.h"
#include "mainwindow.h"
#include "optionsdialog.h"

#include <coreplugin/progressmanager/futureprogress.h>
#include <coreplugin/progressmanager/progressmanager.h>
#include <coreplugin/dialogs/ioptionspage.h>
#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>

namespace {

enum ExitCode { Success = 0, UsageError = 1, TimeLimitReached = 2, PluginErrors = 3 };

// Looks for an option in its one- and two-dash forms, before the application object exists.
bool hasArgument(int argc, char *argv[], std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        for (const char *name : names) {
            if (argument[0] == '-' && std::strcmp(argument + 1, name) == 0)
                return true;
        }
    }
    return false;
}

std::optional<int> seconds(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

void printListing(const QStringList &lines)
{
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    for (const QString &line : lines)
        out << line << '\n';
    out.flush();
}

QStringList optionsPageListing()
{
    QStringList lines;
    for (Core::IOptionsPage *page : Core::IOptionsPage::allOptionsPages()) {
        lines.append(QStringLiteral("options page: %1 | %2 | %3")
                         .arg(Host::OptionsDialog::categoryName(page->category().name()),
                              page->displayName(), page->id().toString()));
    }
    return lines;
}

// Background jobs that plugins started on the global pool end before the plugin libraries are
// unloaded.
void drainThreadPool()
{
    const QDeadlineTimer deadline(3000);
    while (QThreadPool::globalInstance()->activeThreadCount() > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char *argv[])
{
    const bool headless = hasArgument(argc, argv, {"list-examples", "list-options"});
    // These need no window either, and must work where there is no display.
    const bool windowless = headless || hasArgument(argc, argv, {"h", "help", "help-all", "?"});
    if (windowless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    // Before any plugin library is loaded: the plugins compute their data folders from these.
    QCoreApplication::setOrganizationName(QLatin1String("QtProject"));
    QCoreApplication::setApplicationName(QLatin1String("QtCreator"));
    QCoreApplication::setApplicationVersion(QLatin1String("4.15.2"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String("Stand-in for the IDE: loads the plugins and "
                                                   "shows the Welcome screen's examples."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    const QCommandLineOption settingsPath(QLatin1String("settingspath"),
                                          QLatin1String("Folder of the user settings."),
                                          QLatin1String("dir"));
    const QCommandLineOption installSettingsPath(QLatin1String("installsettingspath"),
                                                 QLatin1String("Folder of the install-wide settings."),
                                                 QLatin1String("dir"));
    const QString defaultPluginPath = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                                      + QLatin1String("/../lib/qtcreator/plugins"));
    const QCommandLineOption pluginPath(QLatin1String("pluginpath"),
                                        QLatin1String("Plugin folder (repeatable; default: %1).")
                                            .arg(defaultPluginPath),
                                        QLatin1String("dir"));
    const QCommandLineOption listExamples(QLatin1String("list-examples"),
                                          QLatin1String("Headless: print the example sets and their "
                                                        "examples, then quit."));
    const QCommandLineOption listOptions(QLatin1String("list-options"),
                                         QLatin1String("Headless: print the examples and the options "
                                                       "pages, then quit."));
    const QCommandLineOption quitWhenIdle(QLatin1String("quit-when-idle"),
                                          QLatin1String("Quit once no plugin has changed the "
                                                        "examples for this many seconds."),
                                          QLatin1String("seconds"));
    const QCommandLineOption timeout(QLatin1String("timeout"),
                                     QLatin1String("Time limit for --quit-when-idle "
                                                   "(default: 300)."),
                                     QLatin1String("seconds"), QLatin1String("300"));
    const QCommandLineOption options(QLatin1String("options"),
                                     QLatin1String("Open the options dialog on start, on the page "
                                                   "with this name if given (\"\" for none); "
                                                   "headless too, for --screenshot."),
                                     QLatin1String("page"));
    const QCommandLineOption screenshot(QLatin1String("screenshot"),
                                        QLatin1String("Save a picture of the window, or of the options "
                                                      "dialog when it is open, when quitting."),
                                        QLatin1String("file"));
    const QCommandLineOption measure(QLatin1String("measure"),
                                     QLatin1String("Print to the error output, when quitting, the longest "
                                                   "stall of the GUI thread, the documentation changes "
                                                   "announced and the peak memory."));
    parser.addOptions({settingsPath, installSettingsPath, pluginPath, listExamples, listOptions,
                       quitWhenIdle, timeout, options, screenshot, measure});
    parser.process(app);

    std::optional<int> idleSeconds;
    if (parser.isSet(quitWhenIdle)) {
        idleSeconds = seconds(parser, quitWhenIdle);
        if (!idleSeconds) {
            qWarning("--quit-when-idle needs a number of seconds");
            return UsageError;
        }
    }
    const std::optional<int> limitSeconds = seconds(parser, timeout);
    if (!limitSeconds) {
        qWarning("--timeout needs a number of seconds");
        return UsageError;
    }

    Core::ICore::setSettingsPaths(parser.value(settingsPath), parser.value(installSettingsPath));

    Host::ExamplesReader reader(Core::ICore::settings());
    auto helpSignals = Core::HelpManager::Signals::instance();
    QObject::connect(helpSignals, &Core::HelpManager::Signals::setupFinished,
                     &reader, &Host::ExamplesReader::readExampleSets);
    QObject::connect(helpSignals, &Core::HelpManager::Signals::documentationChanged,
                     &reader, &Host::ExamplesReader::readAllExamples);

    Host::IdleWatcher watcher(idleSeconds.value_or(0) * 1000, *limitSeconds * 1000);
    QObject::connect(helpSignals, &Core::HelpManager::Signals::setupFinished,
                     &watcher, &Host::IdleWatcher::activity);
    QObject::connect(helpSignals, &Core::HelpManager::Signals::documentationChanged,
                     &watcher, &Host::IdleWatcher::activity);
    // A plugin's task in the progress indicator is work under way: the host is not idle meanwhile.
    Core::ProgressManager *progress = Core::ProgressManager::instance();
    QObject::connect(progress, &Core::ProgressManager::taskAdded, &watcher, [&watcher, headless](Core::FutureProgress *task) {
        watcher.setBusy(true);
        if (headless)
            printListing({QStringLiteral("task started: %1").arg(task->title())});
    });
    QObject::connect(progress, &Core::ProgressManager::taskFinished, &watcher, [&watcher, headless, progress](Core::FutureProgress *task) {
        if (headless)
            printListing({QStringLiteral("task finished: %1").arg(task->title())});
        watcher.setBusy(!progress->tasks().isEmpty());
    });
    Host::HostMeter meter;
    QObject::connect(helpSignals, &Core::HelpManager::Signals::documentationChanged,
                     &meter, &Host::HostMeter::notified);
    int exitCode = Success;
    QObject::connect(&watcher, &Host::IdleWatcher::idle, &app, &QCoreApplication::quit);
    QObject::connect(&watcher, &Host::IdleWatcher::timeLimitReached, &app, [&exitCode] {
        qWarning("Time limit reached before the plugins went idle");
        exitCode = TimeLimitReached;
        QCoreApplication::quit();
    });

    ExtensionSystem::PluginManager pluginManager;
    const QStringList pluginPaths = parser.isSet(pluginPath) ? parser.values(pluginPath)
                                                             : QStringList(defaultPluginPath);
    ExtensionSystem::PluginManager::setPluginPaths(pluginPaths);
    reader.readExampleSets();
    if (idleSeconds)
        watcher.start();
    ExtensionSystem::PluginManager::loadPlugins();

    // Each error has been logged as a warning already; this names what did come up.
    QStringList loaded;
    for (ExtensionSystem::PluginSpec *spec : ExtensionSystem::PluginManager::plugins()) {
        if (!spec->isBuiltIn() && !spec->hasError())
            loaded.append(spec->name() + QLatin1Char(' ') + spec->version());
    }
    qInfo("Plugin folder: %s", qPrintable(pluginPaths.join(QLatin1String(", "))));
    qInfo("Loaded plugins: %s",
          loaded.isEmpty() ? "none" : qPrintable(loaded.join(QLatin1String(", "))));
    const QStringList errors = ExtensionSystem::PluginManager::errors();
    for (const QString &error : errors)
        qWarning("Plugin load error: %s", qPrintable(error));

    std::unique_ptr<Host::MainWindow> window;
    if (!headless) {
        window = std::make_unique<Host::MainWindow>(&reader);
        window->show();
        if (parser.isSet(options)) {
            const QString page = parser.value(options);
            QTimer::singleShot(0, window.get(), [&window, page] { window->showOptions(page); });
        }
    }
    // Headless, the options dialog is only there to be pictured.
    std::unique_ptr<Host::OptionsDialog> headlessOptions;
    if (headless && parser.isSet(options)) {
        headlessOptions = std::make_unique<Host::OptionsDialog>();
        headlessOptions->selectPage(parser.value(options));
        headlessOptions->show();
    }
    if (headless && !idleSeconds)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    if (parser.isSet(measure))
        QTimer::singleShot(0, &meter, &Host::HostMeter::start);

    const int appResult = app.exec();
    if (parser.isSet(measure))
        qInfo("%s", qPrintable(meter.report(reader.longestReadMs())));
    if (appResult != 0 && exitCode == Success)
        exitCode = appResult;

    QWidget *pictured = headlessOptions ? headlessOptions.get() : QApplication::activeModalWidget();
    if (!pictured)
        pictured = window.get();
    if (pictured && parser.isSet(screenshot)) {
        if (!pictured->grab().save(parser.value(screenshot)))
            qWarning("Cannot save the picture to %s", qPrintable(parser.value(screenshot)));
    }
    if (headless) {
        printListing(Host::ExamplesReader::listing(reader.exampleSets()));
        if (parser.isSet(listOptions))
            printListing(optionsPageListing());
    }
    headlessOptions.reset();
    if (!errors.isEmpty() && exitCode == Success)
        exitCode = PluginErrors;

    window.reset();
    drainThreadPool();
    ExtensionSystem::PluginManager::shutdown();
    return exitCode;
}
