// The viewer's command line, read before any window or display exists.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace ocu;
using Action = CommandLine::Action;

TEST(CommandLine, OptionsDocumentsAndQtsOwnOptions) {
    struct Case {
        QStringList arguments; // after the program name
        Action action;
        QStringList documents;
    };
    const Case cases[] = {
        {{}, Action::Run, {}},
        {{"picture.dat"}, Action::Run, {"picture.dat"}},
        {{"--help"}, Action::Help, {}},
        {{"-h"}, Action::Help, {}},
        {{"--help-all"}, Action::Help, {}},
        {{"--version"}, Action::Version, {}},
        {{"-v"}, Action::Version, {}},
        // Qt's own options, single dash words with or without a value, are left to the application.
        {{"-platform", "offscreen", "a.dat"}, Action::Run, {"a.dat"}},
        {{"-style=fusion", "-reverse", "-qwindowgeometry", "640x480+0+0"}, Action::Run, {}},
        {{"--", "-a-document-with-a-dash"}, Action::Run, {"-a-document-with-a-dash"}},
        {{"--bogus"}, Action::Error, {}},
        {{"-x"}, Action::Error, {}},
        {{"-platform"}, Action::Error, {}}, // its value is missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const CommandLine line = ParseCommandLine(QStringList{QStringLiteral("ocuviewer")} + c.arguments);
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.documents, c.documents);
        EXPECT_EQ(line.error.isEmpty(), c.action != Action::Error);
        EXPECT_TRUE(line.usage.contains(QLatin1String("--version")));
    }
    EXPECT_EQ(ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("--bogus")}).error,
              QStringLiteral("Unknown option 'bogus'."));
}

TEST(CommandLine, TheCameraToOpen) {
    struct Case {
        QStringList arguments;
        Action action;
        QString camera;
    };
    const Case cases[] = {
        {{}, Action::Run, {}},
        {{"--camera", "sim"}, Action::Run, "sim"},
        {{"--camera=aravis:Basler-acA1300-0815", "a.dat"}, Action::Run, "aravis:Basler-acA1300-0815"},
        {{"-camera", "aravis"}, Action::Run, "aravis"},
        {{"--camera"}, Action::Error, {}},
        {{"--camera="}, Action::Error, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const CommandLine line = ParseCommandLine(QStringList{QStringLiteral("ocuviewer")} + c.arguments);
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.camera, c.camera);
    }
    EXPECT_TRUE(
        ParseCommandLine({QStringLiteral("ocuviewer")}).usage.contains(QLatin1String("--camera <ID>")));
}
