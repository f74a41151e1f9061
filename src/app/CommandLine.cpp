#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <initializer_list>

namespace ocu {
namespace {

// The options QGuiApplication and QApplication take out of the command line themselves. They are known
// here so that they are not refused, and hidden, since Qt documents them.
void AddQtOptions(QCommandLineParser& parser) {
    const auto add = [&](std::initializer_list<const char*> names, bool takesValue) {
        for (const char* name : names) {
            QCommandLineOption option(QString::fromLatin1(name));
            if (takesValue)
                option.setValueName(QStringLiteral("value"));
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
    };
    add({"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
         "qwindowtitle", "session", "display", "geometry", "title", "name", "icon", "visual", "ncols", "cmap",
         "style", "stylesheet", "qmljsdebugger"},
        true);
    add({"reverse", "nograb", "dograb", "sync", "widgetcount", "testability"}, false);
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's own options are single-dash words (-platform, -style); they must not read as letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Live view and settings for industrial colour cameras with a Bayer sensor.\n"
        "The camera is the one --camera names, else the one OCUSNAP_CAMERA names, else the one "
        "last chosen\nwith Options > Camera...; see ocuviewer(1).\nQt's standard options (-platform, "
        "-display, -style, ...) are "
        "accepted too."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("document"),
                                 QStringLiteral("A document of the viewer's empty document type to open."),
                                 QStringLiteral("[document]"));
    const QCommandLineOption camera(
        QStringLiteral("camera"),
        QStringLiteral("Opens the camera with this id: sim (the simulated camera), aravis (the first GenICam "
                       "camera), aravis:ID (one by its id, as Options > Camera... shows it)."),
        QStringLiteral("ID"));
    parser.addOption(camera);
    AddQtOptions(parser);

    CommandLine result;
    result.usage = parser.helpText();
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Error;
        result.error = parser.errorText();
        return result;
    }
    // --help-all, which Qt's help option brings along, asks for the same text: it already names Qt's options.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        result.action = CommandLine::Action::Help;
    else if (parser.isSet(version))
        result.action = CommandLine::Action::Version;
    result.documents = parser.positionalArguments();
    result.camera = parser.value(camera);
    if (parser.isSet(camera) && result.camera.isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("The camera id of --camera is empty.");
    }
    return result;
}

} // namespace ocu
