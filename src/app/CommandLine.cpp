#include "app/CommandLine.h"

#include "camera/CameraId.h"

#include <QCommandLineParser>

namespace ocu {
namespace {

// The options QGuiApplication and QApplication take out of the command line themselves, with what they
// take and do. They are known here so that they are not refused; --help leaves them out, --help-all lists
// them.
struct QtOption {
    const char* name;
    const char* value; // null: the option takes none
    const char* does;
};
constexpr QtOption kQtOptions[] = {
    {"platform", "name[:options]", "the platform plugin: xcb (the default), offscreen, ..."},
    {"platformpluginpath", "path", "where to look for platform plugins"},
    {"platformtheme", "name", "the platform theme"},
    {"plugin", "name", "an additional input plugin to load"},
    {"display", "display", "the X display (default $DISPLAY)"},
    {"qwindowgeometry", "WxH+X+Y", "the main window's geometry"},
    {"geometry", "WxH+X+Y", "the same"},
    {"qwindowtitle", "title", "the main window's title"},
    {"title", "title", "the same"},
    {"qwindowicon", "file", "the main window's icon"},
    {"icon", "file", "the same"},
    {"name", "name", "the application's name for the window system"},
    {"session", "id", "the session to restore"},
    {"visual", "value", "X11, accepted as older versions of Qt took it"},
    {"ncols", "count", "X11, accepted as older versions of Qt took it"},
    {"cmap", "value", "X11, accepted as older versions of Qt took it"},
    {"style", "name", "the widget style: Fusion, Windows, ..."},
    {"stylesheet", "file", "a Qt style sheet for the whole application"},
    {"qmljsdebugger", "settings", "the QML debugger"},
    {"reverse", nullptr, "lays out from right to left"},
    {"nograb", nullptr, "never grabs the mouse or the keyboard"},
    {"dograb", nullptr, "grabs the mouse and the keyboard also under a debugger"},
    {"sync", nullptr, "runs the X connection synchronously (for debugging)"},
    {"widgetcount", nullptr, "prints the number of widgets left at exit"},
    {"testability", nullptr, "loads the testability plugin"},
};

void AddQtOptions(QCommandLineParser& parser) {
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.value != nullptr)
            option.setValueName(QString::fromLatin1(qt.value));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// --help-all: the usage, then Qt's options.
QString WithQtOptions(const QString& usage) {
    QString text = usage + QStringLiteral("\nQt's options (Qt's documentation has more on them):\n");
    for (const QtOption& qt : kQtOptions) {
        const QString option = QStringLiteral("  -%1%2").arg(
            QString::fromLatin1(qt.name),
            qt.value != nullptr ? QStringLiteral(" <%1>").arg(QString::fromLatin1(qt.value)) : QString());
        text +=
            option.leftJustified(36) + QLatin1Char(' ') + QString::fromLatin1(qt.does) + QLatin1Char('\n');
    }
    return text;
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
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("An image (BMP, JPEG or raw frame) to show, as File > Open "
                                                "shows it."),
                                 QStringLiteral("[file]"));
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
    // --help-all, which Qt's help option brings along, adds Qt's own options to the usage.
    if (parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::Help;
        result.usage = WithQtOptions(result.usage);
    } else if (parser.isSet(help))
        result.action = CommandLine::Action::Help;
    else if (parser.isSet(version))
        result.action = CommandLine::Action::Version;
    result.files = parser.positionalArguments();
    result.platform = parser.value(QStringLiteral("platform"));
    result.display = parser.value(QStringLiteral("display"));
    result.camera = parser.value(camera);
    if (result.action == CommandLine::Action::Run && result.files.size() > 1) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("One image file at most.");
    } else if (parser.isSet(camera) && result.camera.isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("The camera id of --camera is empty.");
    } else if (parser.isSet(camera) && !IsCameraId(result.camera.toStdString())) {
        result.action = CommandLine::Action::Error;
        result.error = QStringLiteral("Invalid value '%1' for --camera: it takes %2.")
                           .arg(result.camera, QLatin1String(kCameraIdForms));
    }
    return result;
}

} // namespace ocu
