#pragma once

#include "tools/netsim/SimModem.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Serves SimModem on a pseudo-terminal published as "COM<n>" in a ports folder,
// so the application (or a test) opens it like the serial port of a radio modem.
// The I/O runs on a thread of its own; a test may block on the port meanwhile.
class NetSimServer
{
public:
    NetSimServer();
    // Serves Peer (not owned) instead of the built-in modem.
    explicit NetSimServer(SimPeer& Peer);
    ~NetSimServer();
    NetSimServer(const NetSimServer&) = delete;
    NetSimServer& operator=(const NetSimServer&) = delete;

    SimModem& Modem() { return Modem_; }

    // Creates the pty, links PortsDir/COM<PortNum> to it (replacing an old link)
    // and starts the I/O thread. Scenario time starts now.
    bool Start(const QString& PortsDir, int PortNum, QString& ErrMsg);
    // Joins the thread, closes the pty and removes the link. Safe to call twice.
    void Stop();
    bool IsRunning() const { return Running_; }

    QString LinkPath() const;
    QString SlavePath() const;

    // The modem vanishes: the pty is closed (the PC's reads and writes fail) and
    // the link is left dangling, so the port reads as missing. The same happens
    // when a device with the PortGone fault gets a frame.
    void DropPort();
    // The modem is back on a fresh pty under the same link.
    bool RestorePort(QString& ErrMsg);
    bool PortOpen() const { return PortOpen_; }

    // Every byte the PC wrote, and every byte the modem wrote back.
    QByteArray Received() const;
    QByteArray Sent() const;
    void ClearRecords();
    // Blocks until at least Count bytes were received (or sent), or the time is up.
    bool WaitReceived(int Count, int TimeoutMs) const;
    bool WaitSent(int Count, int TimeoutMs) const;

    // Monotonic milliseconds, the clock the modem runs on.
    static qint64 NowMs();

private:
    bool openPty(QString& ErrMsg);
    void closePty();
    bool relink(const QString& Target, QString& ErrMsg);
    void dropLink();
    void startThread();
    void stopThread();
    void run();

    SimModem Modem_;
    SimPeer* Peer_ = &Modem_;
    QString PortsDir_;
    int PortNum_ = 0;
    QString SlavePath_;
    QString LinkTarget_;
    int MasterFd_ = -1;
    int KeeperFd_ = -1; // our own slave descriptor: the PC may close and reopen freely
    int WakeFds_[2] = {-1, -1};
    std::thread Thread_;
    std::atomic<bool> Quit_ = false;
    std::atomic<bool> Running_ = false;
    std::atomic<bool> PortOpen_ = false;

    mutable std::mutex RecordMutex_;
    mutable std::condition_variable RecordCv_;
    QByteArray Received_;
    QByteArray Sent_;
};
