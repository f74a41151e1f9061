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
    parser.setApplicationDescription(
        QStringLiteral("Live view and settings for industrial colour cameras with a Bayer sensor.\n"
                       "The camera is chosen by the driver library's environment (OCUSNAP_CAMERA); see "
                       "ocuviewer(1).\nQt's standard options (-platform, -display, -style, ...) are "
                       "accepted too."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("An image (BMP, JPEG or raw frame) to show, as File > Open "
                                                "shows it."),
                                 QStringLiteral("[file]"));
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
    result.files = parser.positionalArguments();
    result.platform = parser.value(QStringLiteral("platform"));
    result.display = parser.value(QStringLiteral("display"));
    if (result.action == CommandLine::Action::Run && result.files.size() > 1) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("One image file at most.");
    }
    return result;
}

} // namespace ocu
