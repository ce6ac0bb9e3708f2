#pragma once
// The line as it happens, for the main window: what the port's line does
// goes into the receive log as marked lines (breaks, line errors, changes of
// the modem lines, the port lost and reopened), the status panel follows the
// port and its modem lines, and a lost port is reopened by itself when
// "Auto Conectar" is ticked.
//
// Marked lines go into the same log as received bytes, in kMarkColour, with
// the time; the log's insertion colour is left as it was, so a report the
// decoder is writing keeps its colour. Modem-line changes are marked only
// while MonitorSettings::MostrarSinais is set; the lamps follow them always.
// The first state of each modem line after an open is shown on the lamps,
// not marked: it is no change.
//
// A close the window asks for itself (ExpectClose() before it) is the
// operator's; any other close of an open port is a lost device: marked, and
// watched for with ReconnectWatch while "Auto Conectar" is ticked, until the
// port opens again, StopReconnecting() or the option is unticked.
//
// User-interface thread, like the port's events.
#include <QObject>

#include <functional>

#include "app/ReconnectWatch.h"
#include "cport/port/ComPort.h"
#include "monitor/MonitorSettings.h"
#include "monitor/log/LogStore.h"

class LogView;
class PortStatusPanel;

class PortLineMonitor : public QObject {
  Q_OBJECT

 public:
  // Binds OnBreak, OnError, OnCTSChange, OnDSRChange, OnRLSDChange and
  // OnRing of `port`. The window calls PortOpened()/PortClosed() from its own
  // OnAfterOpen/OnAfterClose. All arguments outlive the monitor.
  PortLineMonitor(cport::TCustomComPort& port, monitor::LogStore& log, LogView& view,
                  PortStatusPanel& panel, const monitor::MonitorSettings& settings,
                  std::function<double()> time_of_day, QObject* parent = nullptr);

  void PortOpened();
  void PortClosed();
  // The next close is the window's own: no loss. False again after a close
  // that did not happen (it failed).
  void ExpectClose(bool expected = true) { close_expected_ = expected; }
  // The port settings changed (the setup dialog): the panel shows them.
  void SettingsChanged();

  bool Reconnecting() const { return watch_.Watching(); }
  void StopReconnecting();

 signals:
  // The reconnection watch started or stopped: the window's connect button
  // reads "Desconectar" while it waits.
  void reconnectingChanged(bool on);

 private:
  void Mark(const std::string& cp1252_text);
  void SignalChanged(cport::LineSignal signal, bool on);
  void TryReopen();
  void ShowPort();

  cport::TCustomComPort& port_;
  monitor::LogStore& log_;
  LogView& view_;
  PortStatusPanel& panel_;
  const monitor::MonitorSettings& settings_;
  std::function<double()> time_of_day_;
  ReconnectWatch watch_;
  cport::LineSignals known_;  // lines whose first state since the open was seen
  cport::LineSignals lit_;
  bool close_expected_ = false;
  bool reopening_ = false;
};
