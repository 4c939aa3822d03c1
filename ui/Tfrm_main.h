#pragma once

#include <QMainWindow>
#include <memory>

#include "identity/Identity.h"
#include "identity/OwnAddresses.h"
#include "settings/ConsoleSettings.h"
#include "ui/ConsoleOptions.h"
#include "ui/MainWindowLayout.h"

class CommandChannel;
class Demonstration;
class Monitoring;
class QTimer;
class QToolButton;
class Roster;
class RosterModel;
class StudentCommands;
class TForm_ShowMess;
class TForm_client;
class TServerSocket;
class TUDPEndpoint;
class Tfrm_setup;

// The console's one permanent window: it owns the command server, the two datagram
// endpoints, the timers, the roster and the shared buffers for the whole run.
class Tfrm_main : public QMainWindow
{
    Q_OBJECT

public:
    explicit Tfrm_main(const ConsoleOptions &options, QWidget *parent = nullptr);
    ~Tfrm_main() override;

    TServerSocket *ServerSocket1() const { return m_serverSocket; }
    TUDPEndpoint *ComUdp() const { return m_comUdp; }
    TUDPEndpoint *MouseUDP() const { return m_mouseUdp; }
    RosterModel *rosterModel() const { return m_rosterModel; }
    Roster *roster() const { return m_roster.get(); }
    ConsoleSettings &settings() { return m_settings; }
    const Identity &identity() const { return m_identity; }
    QString BroadcastHost() const;

    Demonstration *demonstration() const { return m_demonstration.get(); }
    Monitoring *monitoring() const { return m_monitoring.get(); }

    // Another copy was started: this window comes to the front, restored if minimised.
    void bringToFront();

    void SendToAll(const QByteArray &text);
    void SendToRow(int index, const QByteArray &text);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createComponents();
    void connectHandlers();
    void FormCreate();
    void FormShow();
    void FormClose();
    void releaseStudents();
    // Shows the address in status panel 1 and aims both endpoints at its broadcast host.
    void applyIdentity();

    void setOtherButtonsEnabled(const QToolButton *running, bool enabled);
    void Timer1Timer();
    void MouseUDPDataReceived(TUDPEndpoint *sender, int numberBytes, const QString &fromIP);
    void SpeedButton4Click();
    void SpeedButton5Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void setCountText(const QString &text);

    ConsoleOptions m_options;
    ConsoleSettings m_settings;
    Identity m_identity;
    OwnAddresses m_ownAddresses;
    MainWindowLayout m_ui;

    TServerSocket *m_serverSocket = nullptr;
    TUDPEndpoint *m_comUdp = nullptr;
    TUDPEndpoint *m_mouseUdp = nullptr;
    QTimer *m_screenTimer = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;

    RosterModel *m_rosterModel = nullptr;
    std::unique_ptr<Roster> m_roster;
    std::unique_ptr<CommandChannel> m_channel;
    std::unique_ptr<Demonstration> m_demonstration;
    std::unique_ptr<Monitoring> m_monitoring;

    Tfrm_setup *m_frmSetup = nullptr;
    TForm_client *m_formClient = nullptr;
    TForm_ShowMess *m_formShowMess = nullptr;
    StudentCommands *m_studentCommands = nullptr;
    bool m_shown = false;
    bool m_closed = false;
};
