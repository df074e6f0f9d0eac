#pragma once

// The about box: the version, the help page and the online update check, whose status line
// counts dots every half second while a worker thread asks our site for the newest version.

#include "about/UpdateCheck.h"

#include <QBasicTimer>
#include <QDialog>

#include <atomic>
#include <memory>

namespace Ui {
class CAboutDlg;
}

// 0 while an update check runs, 1 once it has finished (either way). Set by the worker, read by
// the about box's timer.
extern std::atomic<int> g_bUpdateCheckDone;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    void OnCheckUpdate();
    void OnAboutHelp();

    int tick() const { return m_nTick; }
    bool timerRunning() const { return m_timer.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void OnInitDialog();
    void OnTimer();

    std::unique_ptr<Ui::CAboutDlg> ui;
    QBasicTimer m_timer;
    int m_nTick = 0;
};

// The worker thread's function: runs the check and hands its outcome to the GUI thread, which
// shows the message or starts the updater.
void UpdateCheckThread(const QString& url, const QString& localFile);
// On the GUI thread: what the operator sees of an outcome. localFile is the downloaded copy, which
// goes when the updater that would read it cannot start.
void FinishUpdateCheck(UpdateCheckResult result, const QString& localFile);

// Installs "关于(&A)...", "定制软件(&O)" and F1 into the main window.
void InstallAboutHooks();
