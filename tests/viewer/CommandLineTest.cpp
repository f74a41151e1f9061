// The viewer's command line, read before any window or display exists.
#include "app/CommandLine.h"

#include "app/DisplayStart.h"

#include <gtest/gtest.h>

using namespace ocu;
using Action = CommandLine::Action;

TEST(CommandLine, OptionsTheImageFileTheCameraAndQtsOwnOptions) {
    struct Case {
        QStringList arguments; // after the program name
        Action action;
        QStringList files;
        QString camera = {};
    };
    const Case cases[] = {
        {{}, Action::Run, {}},
        {{"picture.bmp"}, Action::Run, {"picture.bmp"}},
        {{"a.bmp", "b.bmp"}, Action::Error, {"a.bmp", "b.bmp"}}, // one picture is shown
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
        {{"--camera", "sim"}, Action::Run, {}, "sim"},
        {{"--camera=aravis:Basler-acA1300-0815", "a.dat"},
         Action::Run,
         {"a.dat"},
         "aravis:Basler-acA1300-0815"},
        {{"-camera", "aravis"}, Action::Run, {}, "aravis"},
        {{"--camera"}, Action::Error, {}},
        {{"--camera", "none"}, Action::Run, {}, "none"},
        {{"--camera"}, Action::Error, {}},
        {{"--camera="}, Action::Error, {}},
        // Not a camera id: said on the command line, not by the driver's "value outside its range" later.
        {{"--camera", "bogus"}, Action::Error, {}, "bogus"},
        {{"--camera", "aravis:"}, Action::Error, {}, "aravis:"},
        {{"--camera", "Sim"}, Action::Error, {}, "Sim"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const CommandLine line = ParseCommandLine(QStringList{QStringLiteral("ocuviewer")} + c.arguments);
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(line.camera, c.camera);
        EXPECT_EQ(line.error.isEmpty(), c.action != Action::Error);
        EXPECT_TRUE(line.usage.contains(QLatin1String("--version")));
        EXPECT_TRUE(line.usage.contains(QLatin1String("--camera <ID>")));
    }
    EXPECT_EQ(ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("--bogus")}).error,
              QStringLiteral("Unknown option 'bogus'."));
    EXPECT_EQ(
        ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("--camera"), QStringLiteral("Sim")})
            .error,
        QStringLiteral("Invalid value 'Sim' for --camera: it takes sim, none, aravis or aravis:ID."));
    // --help-all is --help with Qt's own options.
    const QString help = ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("--help")}).usage;
    const QString all = ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("--help-all")}).usage;
    EXPECT_TRUE(all.startsWith(help));
    for (const char* qtOption : {"  -platform <", "  -display <", "  -style <", "  -reverse "}) {
        EXPECT_FALSE(help.contains(QLatin1String(qtOption))) << qtOption;
        EXPECT_TRUE(all.contains(QLatin1String(qtOption))) << qtOption;
    }
}

TEST(CommandLine, TheLineForADisplayThatCannotBeReachedNamesIt) {
    struct Case {
        QString platform;
        QString display;
        QStringList qtSaid;
        QString line;
    };
    const QString noServer = QStringLiteral("could not connect to display :7");
    const Case cases[] = {
        {{},
         {},
         {QStringLiteral("could not connect to display ")},
         "cannot connect to the display: DISPLAY is not set"},
        {{}, ":7", {noServer}, "cannot connect to the display \":7\""},
        {"xcb:nograb", ":7", {noServer}, "cannot connect to the display \":7\""},
        {"xcb", {}, {}, "cannot connect to the display: DISPLAY is not set"},
        // The display was there but the plugin failed otherwise: the display is not to blame.
        {{},
         ":0",
         {QStringLiteral("Could not load the Qt platform plugin \"xcb\"")},
         "cannot connect to the display: Qt's platform plugin \"xcb\" did not start"},
        {"wayland", {}, {}, "cannot connect to the display: Qt's platform plugin \"wayland\" did not start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.platform + QLatin1Char('|') + c.display).toStdString());
        EXPECT_EQ(DisplayFailureText(c.platform, c.display, c.qtSaid), c.line);
    }
    const CommandLine line =
        ParseCommandLine({QStringLiteral("ocuviewer"), QStringLiteral("-platform"), QStringLiteral("xcb"),
                          QStringLiteral("-display"), QStringLiteral(":3")});
    EXPECT_EQ(line.platform, "xcb");
    EXPECT_EQ(line.display, ":3");
}
