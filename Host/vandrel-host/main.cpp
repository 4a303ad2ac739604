// vandrel-host: runs the Vandrel camera plug-in from the command line, the
// way a host application does.

#include "camerasignals.h"
#include "exitstatus.h"
#include "hostcommands.h"
#include "hostlog.h"
#include "hostoptions.h"
#include "textout.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <exception>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installLogHandler();
    QCoreApplication::setApplicationName(QStringLiteral("vandrel-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANDREL_HOST_VERSION));
    // Frames cross from the SDK's threads to the main thread by value.
    registerContractTypes();
    try {
        const CommandLine line = parseCommandLine(app.arguments());
        switch (line.action) {
        case CommandLine::Action::Error:
            return fail(ExitBadOptions, line.text);
        case CommandLine::Action::Help:
            stdOut().lines() << line.text;
            return ExitOk;
        case CommandLine::Action::Version:
            stdOut().lines() << "vandrel-host " << app.applicationVersion() << '\n';
            return ExitOk;
        case CommandLine::Action::Run:
            break;
        }
        // The driver logs a debug line per frame and an info line at every
        // close: of a run that went well only its warnings are worth a line.
        if (!line.options.verbose)
            QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false\nvandrel.info=false"));
        return runHostCommand(line.options);
    } catch (const std::exception &e) {
        return fail(ExitFailure, QStringLiteral("unexpected failure: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return fail(ExitFailure, QStringLiteral("unexpected failure"));
    }
}
