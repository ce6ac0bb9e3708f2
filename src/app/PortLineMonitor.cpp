#include "app/PortLineMonitor.h"

#include <QString>

#include <exception>
#include <utility>

#include "app/LogView.h"
#include "app/PortStatusPanel.h"
#include "monitor/LineMarks.h"
#include "monitor/PortSummary.h"

PortLineMonitor::PortLineMonitor(cport::TCustomComPort& port, monitor::LogStore& log,
                                 LogView& view, PortStatusPanel& panel,
                                 const monitor::MonitorSettings& settings,
                                 std::function<double()> time_of_day, QObject* parent)
    : QObject(parent),
      port_(port),
      log_(log),
      view_(view),
      panel_(panel),
      settings_(settings),
      time_of_day_(std::move(time_of_day)) {
  using cport::LineSignal;
  using cport::TComError;
  port_.OnBreak = [this](cport::TCustomComPort&) {
    Mark(monitor::ErrorMarks({TComError::ceBreak}, time_of_day_()).front());
  };
  // A break also comes as the break error; OnBreak has marked it.
  port_.OnError = [this](cport::TCustomComPort&, cport::TComErrors errors) {
    for (const std::string& mark :
         monitor::ErrorMarks(errors.Exclude(TComError::ceBreak), time_of_day_()))
      Mark(mark);
  };
  port_.OnCTSChange = [this](cport::TCustomComPort&, bool on) {
    SignalChanged(LineSignal::lsCTS, on);
  };
  port_.OnDSRChange = [this](cport::TCustomComPort&, bool on) {
    SignalChanged(LineSignal::lsDSR, on);
  };
  port_.OnRLSDChange = [this](cport::TCustomComPort&, bool on) {
    SignalChanged(LineSignal::lsRLSD, on);
  };
  // The ring event says that the ring indicator changed, not to what: the
  // line is read.
  port_.OnRing = [this](cport::TCustomComPort& sender) {
    bool on = false;
    try {
      on = sender.ModemSignals().Contains(LineSignal::lsRing);
    } catch (const std::exception&) {
      on = !lit_.Contains(LineSignal::lsRing);  // unreadable: it changed, so it flipped
    }
    SignalChanged(LineSignal::lsRing, on);
  };
  connect(&watch_, &ReconnectWatch::DeviceBack, this, &PortLineMonitor::TryReopen);
  ShowPort();
}

void PortLineMonitor::Mark(const std::string& cp1252_text) {
  const monitor::Rgb colour = log_.InsertionColour();
  log_.SetInsertionColour(monitor::kMarkColour);
  log_.AppendLine(cp1252_text);
  log_.SetInsertionColour(colour);
  view_.contentsChanged();
}

void PortLineMonitor::SignalChanged(cport::LineSignal signal, bool on) {
  const bool first = !known_.Contains(signal);
  const bool changed = lit_.Contains(signal) != on;
  known_.Include(signal);
  on ? lit_.Include(signal) : lit_.Exclude(signal);
  panel_.setSignals(lit_);
  // The states an open or a close reports are no change of the line.
  if (first || !changed || !port_.Connected() || close_expected_) return;
  if (settings_.MostrarSinais) Mark(monitor::SignalMark(signal, on, time_of_day_()));
}

void PortLineMonitor::PortOpened() {
  known_ = {};
  lit_ = {};
  // Lines that can be read light their lamps at once; a line without modem
  // lines (a pseudo-terminal) leaves them off.
  try {
    lit_ = port_.ModemSignals();
    known_ = {cport::LineSignal::lsCTS, cport::LineSignal::lsDSR, cport::LineSignal::lsRing,
              cport::LineSignal::lsRLSD};
  } catch (const std::exception&) {
    // The open reports CTS, DSR and RLSD as they are; the ring indicator has
    // no such report, so its first event is a change from off.
    known_ = {cport::LineSignal::lsRing};
  }
  panel_.setSignals(lit_);
  ShowPort();
  if (reopening_) {
    reopening_ = false;
    Mark(monitor::PortReopenedMark(time_of_day_()));
  }
  StopReconnecting();
}

void PortLineMonitor::PortClosed() {
  const bool lost = !close_expected_;
  close_expected_ = false;
  lit_ = {};
  known_ = {};
  panel_.setSignals(lit_);
  ShowPort();
  if (!lost) return;
  Mark(monitor::PortLostMark(time_of_day_()));
  if (settings_.AutoConectar) {
    watch_.Watch(port_.Port());
    if (watch_.Watching()) emit reconnectingChanged(true);
  }
}

void PortLineMonitor::SettingsChanged() { ShowPort(); }

void PortLineMonitor::StopReconnecting() {
  if (!watch_.Watching()) return;
  watch_.Stop();
  emit reconnectingChanged(false);
}

void PortLineMonitor::TryReopen() {
  if (port_.Connected()) return StopReconnecting();
  // The node may be there before udev gave it its permissions, or still be
  // settling: a failed open is tried again at the next check, silently; the
  // loss is in the log, and "Conectar" shows the reason.
  reopening_ = true;
  try {
    port_.OpenPort();
  } catch (const std::exception&) {
    reopening_ = false;
  }
}

void PortLineMonitor::ShowPort() {
  panel_.setPortText(QString::fromStdString(monitor::PortSummary(port_)));
}
