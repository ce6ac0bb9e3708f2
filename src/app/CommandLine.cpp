#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

#include <charconv>
#include <limits>
#include <string_view>

#include "cport/setup/ComSelect.h"
#include "monitor/MonitorSettings.h"

#ifndef RIRIRED_VERSION
#error "RIRIRED_VERSION is defined by the build"
#endif

namespace {

const char* const kDescription =
    "Ririred OZ: the serial monitor of a telephony (caller-ID) test bench.\n"
    "\n"
    "The options below apply to this run only: the settings stored for the next\n"
    "start stay as they are. To keep a value, change it in the window (the port\n"
    "and its speed in the setup dialog, \"Configurar\"; the format in its list);\n"
    "the window stores what the operator changes there.";

struct FormatName {
  const char* name;
  std::uint8_t formato;
};
constexpr FormatName kFormats[] = {{"string", monitor::kFormatoString},
                                   {"decimal", monitor::kFormatoDecimal},
                                   {"hex", monitor::kFormatoHexaDecimal},
                                   {"ririred", monitor::kFormatoRiriredOz}};

// A mistake on the command line, with its message.
struct UsageMistake {
  std::string message;
};

std::string Quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

std::int32_t ParseSpeed(const QString& text) {
  const std::string digits = text.toStdString();
  std::int32_t speed = 0;
  const char* end = digits.data() + digits.size();
  const auto [last, ec] = std::from_chars(digits.data(), end, speed, 10);
  if (digits.empty() || digits.front() == '-' || ec != std::errc() || last != end || speed < 1) {
    throw UsageMistake{"--baud takes a speed in bits per second, a whole number from 1 to " +
                       std::to_string(std::numeric_limits<std::int32_t>::max()) + ", not " +
                       Quoted(text)};
  }
  return speed;
}

void SetBaud(CommandLineOverrides& overrides, std::int32_t speed) {
  for (const auto& row : cport::kBaudRateTable) {
    if (row.value != cport::TBaudRate::brCustom && row.number == speed) {
      overrides.baudRate = row.value;
      overrides.customBaudRate = 0;
      return;
    }
  }
  // The component carries any other speed as its custom rate.
  overrides.baudRate = cport::TBaudRate::brCustom;
  overrides.customBaudRate = speed;
}

// The rates of the component's list, then the custom rate.
QString BaudDescription() {
  QString text = QStringLiteral("The speed in bits per second: ");
  for (const auto& row : cport::kBaudRateTable) {
    if (row.value == cport::TBaudRate::brCustom) continue;
    text += QString::number(row.number) + QStringLiteral(", ");
  }
  return text + QStringLiteral("or any other speed the adapter takes (a custom rate).");
}

std::uint8_t ParseFormat(const QString& text) {
  for (const auto& format : kFormats) {
    if (text.compare(QLatin1String(format.name), Qt::CaseInsensitive) == 0) return format.formato;
  }
  throw UsageMistake{"--format takes string, decimal, hex or ririred, not " + Quoted(text)};
}

// Qt's own options, which the QApplication takes out of argv itself: the
// parser accepts them without a word in the help.
void AddQtOptions(QCommandLineParser& parser) {
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                           "qwindowgeometry", "qwindowtitle", "qwindowicon", "display", "geometry",
                           "session", "style", "stylesheet", "name", "title"}) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

}  // namespace

const char* ProgramVersion() { return RIRIRED_VERSION; }

CommandLine ParseCommandLine(const QStringList& arguments) {
  const QString program =
      arguments.isEmpty() ? QStringLiteral("ririredoz") : QFileInfo(arguments.first()).fileName();
  const std::string programName = program.toStdString();

  QCommandLineParser parser;
  // Qt's options are single-dash words (-platform, -style); so are these:
  // -port works as --port does.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(QString::fromLatin1(kDescription));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Shows this help and exits."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Shows the version and exits."));
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("The serial port: COM1 (/dev/ttyS0), ttyUSB0 (/dev/ttyUSB0) or a path "
                     "such as /dev/serial/by-id/<adapter>."),
      QStringLiteral("name"));
  const QCommandLineOption baud(QStringLiteral("baud"), BaudDescription(), QStringLiteral("N"));
  const QCommandLineOption format(
      QStringLiteral("format"),
      QStringLiteral("How received bytes show: string (characters), decimal, hex, or ririred "
                     "(the fixture's test reports, decoded)."),
      QStringLiteral("format"));
  const QCommandLineOption connect(QStringLiteral("connect"),
                                   QStringLiteral("Opens the port at start."));
  for (const auto* option : {&help, &version, &port, &baud, &format, &connect}) {
    parser.addOption(*option);
  }
  AddQtOptions(parser);

  CommandLine result;
  try {
    if (!parser.parse(arguments)) throw UsageMistake{parser.errorText().toStdString()};
    if (parser.isSet(help)) {
      // The usage line names the program as it was started.
      QString text = parser.helpText();
      const qsizetype eol = text.indexOf(QLatin1Char('\n'));
      text.replace(0, eol, QStringLiteral("Usage: %1 [options]").arg(program));
      result.standardOutput = text.toStdString();
      result.exitStatus = 0;
      return result;
    }
    if (parser.isSet(version)) {
      result.standardOutput = programName + " " + ProgramVersion() + "\n";
      result.exitStatus = 0;
      return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
      throw UsageMistake{"unexpected argument " + Quoted(parser.positionalArguments().first()) +
                         " (the port goes with --port NAME)"};
    }
    auto& overrides = result.overrides;
    if (parser.isSet(port)) {
      const std::string name = parser.value(port).toStdString();
      if (!cport::IsSettablePortName(name)) throw UsageMistake{"--port needs a port name"};
      overrides.port = name;
    }
    if (parser.isSet(baud)) SetBaud(overrides, ParseSpeed(parser.value(baud)));
    if (parser.isSet(format)) overrides.formato = ParseFormat(parser.value(format));
    overrides.connect = parser.isSet(connect);
  } catch (const UsageMistake& mistake) {
    result = CommandLine{};
    result.standardError =
        programName + ": " + mistake.message + "\n(" + programName + " --help shows the options)\n";
    result.exitStatus = kUsageExitStatus;
  }
  return result;
}

CommandLine ParseProgramArgs(int argc, char** argv) {
  // No application object: none is needed to read the options, and the
  // QApplication, which needs a display, comes only once they are good.
  // Arguments are UTF-8, as Qt reads them on Unix.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  return ParseCommandLine(arguments);
}
