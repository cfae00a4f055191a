#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a system shutdown, Ctrl+C, a closed terminal)
// become a Qt signal on the main thread, so the application closes as if the
// operator had closed its window: polling stopped, archive closed, settings saved.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* Parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be installed (the defaults stay).
    bool Installed() const { return Installed_; }

Q_SIGNALS:
    void Requested(int SignalNumber);

private:
    void readSignal();

    QSocketNotifier* Notifier_ = nullptr;
    bool Installed_ = false;
};
