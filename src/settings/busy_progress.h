#pragma once

#include <QString>

#include <cstdint>

class TTickClock;

// The shared progress of long operations (saving, loading lists, reading the
// project list). The core drives it; the main window shows it as a dialog, the
// command line as a bar on stderr, tests record it.
class TBusyProgress {
public:
    TBusyProgress();
    virtual ~TBusyProgress();
    TBusyProgress(const TBusyProgress&) = delete;
    TBusyProgress& operator=(const TBusyProgress&) = delete;

    void SetCaption(const QString& caption);
    const QString& Caption() const { return m_caption; }
    void SetMaximum(qint64 maximum);
    qint64 Maximum() const { return m_maximum; }
    void SetPosition(qint64 position);
    qint64 Position() const { return m_position; }
    bool BarVisible() const { return m_barVisible; }

    // Updates at most once per distinct tick count: shows the bar exactly when
    // position >= 0 and maximum > 0, sets both, then lets pending events run.
    void SetProgress(qint64 position, qint64 maximum);

    void Show();
    void Hide();
    bool IsVisible() const { return m_visible; }

    bool CancelRequested() const { return m_cancelRequested; }
    void RequestCancel() { m_cancelRequested = true; }

    // Lets the user interface process its pending events (repaint, Cancel).
    virtual void ProcessEvents() {}

    void SetClock(TTickClock* clock) { m_clock = clock; }

protected:
    // Display hooks: called after the state changed.
    virtual void OnShow() {}
    virtual void OnHide() {}
    virtual void OnChanged() {}

private:
    TTickClock* m_clock = nullptr;
    QString m_caption = QStringLiteral("Working...");
    qint64 m_maximum = 100;
    qint64 m_position = 0;
    bool m_barVisible = true;
    bool m_visible = false;
    bool m_cancelRequested = false;
    std::uint32_t m_lastProgressTick = 0;
};

// The process's busy progress; a silent one until the program installs its own.
TBusyProgress& AppBusy();
void SetAppBusy(TBusyProgress* busy);

// Shows the busy progress with a caption for the life of a scope and hides it
// again on every way out, errors included.
class TBusyScope final {
public:
    TBusyScope(TBusyProgress& busy, const QString& caption);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TBusyProgress& m_busy;
};
