#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <memory>

#include "platform/child_processes.h"
#include "platform/stop_request.h"

namespace rv4410 {

namespace {

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

void RunChildProcesses(const std::string& program,
                       const std::vector<std::vector<std::string>>& argumentLists,
                       const StopRequest& stop, const ChildEvents& events) {
  std::vector<std::unique_ptr<QProcess>> processes;
  std::size_t running = 0;
  for (std::size_t index = 0; index < argumentLists.size(); ++index) {
    processes.push_back(std::make_unique<QProcess>());
    QProcess* process = processes.back().get();
    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [=, &events] {
      events.output(index, false, View(process->readAllStandardOutput()));
    });
    QObject::connect(process, &QProcess::readyReadStandardError, process, [=, &events] {
      events.output(index, true, View(process->readAllStandardError()));
    });
    QObject::connect(process, &QProcess::finished, process,
                     [=, &events, &running](int code, QProcess::ExitStatus status) {
                       events.output(index, false, View(process->readAllStandardOutput()));
                       events.output(index, true, View(process->readAllStandardError()));
                       events.ended(index, {true, status == QProcess::NormalExit, code});
                       --running;
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [=, &events, &running](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       events.ended(index, {});
                       --running;
                     });
  }
  for (std::size_t index = 0; index < argumentLists.size(); ++index) {
    QStringList arguments;
    for (const std::string& argument : argumentLists[index]) {
      arguments << QString::fromStdString(argument);
    }
    ++running;
    processes[index]->start(QString::fromStdString(program), arguments);
  }
  bool stopped = false;
  while (running > 0) {
    // Sleeps until a child writes or ends, or the stop wakes the loop.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (stopped || !stop.Arrived()) continue;
    // A stop is the children's as well: each ends at its next check.
    stopped = true;
    for (auto& process : processes) {
      if (process->state() != QProcess::NotRunning) process->terminate();
    }
  }
}

std::string OwnProgramPath() {
  return QCoreApplication::applicationFilePath().toStdString();
}

}  // namespace rv4410
