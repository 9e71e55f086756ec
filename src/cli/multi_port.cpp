#include "cli/multi_port.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "activity_log/activity_log.h"
#include "cli/console_output.h"
#include "cli/signal_watch.h"
#include "datafiles/default_files.h"

namespace rv4410 {

namespace {

const char* CommandWord(CliCommand command) {
  switch (command) {
    case CliCommand::kPorts:
      return "ports";
    case CliCommand::kIdentify:
      return "identify";
    case CliCommand::kReadConfig:
      return "read-config";
    case CliCommand::kWriteConfig:
      return "write-config";
    case CliCommand::kWriteProgram:
      return "write-program";
    case CliCommand::kWriteMap:
      return "write-map";
  }
  return "";
}

// One unit's process and the part of a line it has written so far.
struct Unit {
  std::string port;
  std::unique_ptr<QProcess> process;
  QByteArray pendingOut;
  QByteArray pendingErr;
  int exitCode = kExitFailed;
  bool finished = false;
};

void EmitLine(const Unit& unit, const QByteArray& line, bool json, FILE* stream) {
  if (json && stream == stdout) {
    QJsonDocument document = QJsonDocument::fromJson(line);
    if (document.isObject()) {
      QJsonObject object = document.object();
      object.insert("port", QString::fromStdString(unit.port));
      ConsoleOutput::WriteJson(object);
      return;
    }
  }
  std::fprintf(stream, "[%s] %.*s\n", unit.port.c_str(), static_cast<int>(line.size()),
               line.constData());
  std::fflush(stream);
}

void Drain(Unit& unit, QByteArray& pending, const QByteArray& bytes, bool json, FILE* stream,
           bool flush) {
  pending.append(bytes);
  qsizetype end;
  while ((end = pending.indexOf('\n')) >= 0) {
    EmitLine(unit, pending.left(end), json, stream);
    pending.remove(0, end + 1);
  }
  if (flush && !pending.isEmpty()) {
    EmitLine(unit, pending, json, stream);
    pending.clear();
  }
}

}  // namespace

std::string PerPortFileName(const std::string& base, const std::string& port) {
  std::string stem = base;
  std::string extension;
  std::size_t dot = base.find_last_of('.');
  std::size_t slash = base.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = base.substr(0, dot);
    extension = base.substr(dot);
  }
  std::string name = port;
  for (char& c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.';
    if (!plain) c = '_';
  }
  return stem + "-" + name + extension;
}

QStringList ChildArguments(const CliOptions& options, const std::string& port) {
  QStringList arguments;
  arguments << "--port" << QString::fromStdString(port);
  arguments << "--baud" << QString::number(options.baud);
  std::string log = options.logFile.empty() ? std::string(kLogFileName) : options.logFile;
  arguments << "--log" << QString::fromStdString(PerPortFileName(log, port));
  arguments << "--wait" << QString::number(options.waitSeconds);
  arguments << "--retries" << QString::number(options.rules.retries);
  if (options.rules.yes) arguments << "--yes";
  if (options.rules.acceptDates) arguments << "--accept-dates";
  if (options.output.json) arguments << "--json";
  if (options.verbosity == Verbosity::kQuiet) arguments << "--quiet";
  if (options.verbosity == Verbosity::kVerbose) arguments << "--verbose";
  arguments << CommandWord(options.command);
  // Each unit's configuration goes to a file of its own; a file that is
  // only read (write-config, the images) is shared.
  std::string file = options.file;
  if (options.command == CliCommand::kReadConfig) file = PerPortFileName(file, port);
  if (!file.empty()) arguments << QString::fromStdString(file);
  if (options.command == CliCommand::kWriteProgram) {
    std::string config =
        options.configFile.empty() ? DefaultConfigFileName(std::time(nullptr)) : options.configFile;
    arguments << "--config" << QString::fromStdString(PerPortFileName(config, port));
    if (options.rules.restore != RestoreRule::kNone) {
      arguments << "--restore" << (options.rules.restore == RestoreRule::kSaved ? "saved" : "unit");
    }
    if (options.rules.noConfigOk) arguments << "--no-config-ok";
  }
  return arguments;
}

int RunOnEveryPort(const CliOptions& options, const QString& program) {
  bool json = options.output.json;
  std::vector<std::unique_ptr<Unit>> units;
  int running = 0;
  QEventLoop loop;
  for (const std::string& port : options.ports) {
    auto unit = std::make_unique<Unit>();
    unit->port = port;
    unit->process = std::make_unique<QProcess>();
    Unit* u = unit.get();
    QProcess* process = u->process.get();
    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [u, json] {
      Drain(*u, u->pendingOut, u->process->readAllStandardOutput(), json, stdout, false);
    });
    QObject::connect(process, &QProcess::readyReadStandardError, process, [u, json] {
      Drain(*u, u->pendingErr, u->process->readAllStandardError(), json, stderr, false);
    });
    QObject::connect(
        process, &QProcess::finished, process,
        [u, json, &running, &loop](int code, QProcess::ExitStatus status) {
          Drain(*u, u->pendingOut, u->process->readAllStandardOutput(), json, stdout, true);
          Drain(*u, u->pendingErr, u->process->readAllStandardError(), json, stderr, true);
          u->exitCode = status == QProcess::NormalExit ? code : kExitInterrupted;
          u->finished = true;
          if (--running == 0) loop.quit();
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [u, &running, &loop](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       u->exitCode = kExitFailed;
                       u->finished = true;
                       if (--running == 0) loop.quit();
                     });
    units.push_back(std::move(unit));
  }
  // A signal is the children's as well: each stops at its next check.
  SignalWatch signalWatch;
  signalWatch.OnSignal([&units] {
    for (auto& unit : units) {
      if (!unit->finished) unit->process->terminate();
    }
  });
  for (auto& unit : units) {
    ++running;
    unit->process->start(program, ChildArguments(options, unit->port));
  }
  if (running > 0) loop.exec();

  int worst = kExitDone;
  if (!json) std::printf("\n%-24s %-5s %s\n", "PORT", "EXIT", "RESULT");
  for (const auto& unit : units) {
    int code = signalWatch.Arrived() && unit->exitCode == kExitDone ? kExitDone : unit->exitCode;
    worst = std::max(worst, code);
    if (json) {
      ConsoleOutput::WriteJson({{"type", "summary"},
                                {"port", QString::fromStdString(unit->port)},
                                {"exit", code},
                                {"meaning", ExitMeaning(code)}});
    } else {
      std::printf("%-24s %-5d %s\n", unit->port.c_str(), code, ExitMeaning(code));
    }
  }
  std::fflush(stdout);
  if (signalWatch.Arrived() && worst == kExitDone) worst = kExitInterrupted;
  return worst;
}

}  // namespace rv4410
