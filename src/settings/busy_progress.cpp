#include "settings/busy_progress.h"

#include "settings/tick_clock.h"

namespace {

TBusyProgress& SilentBusy()
{
    static TBusyProgress busy;
    return busy;
}

TBusyProgress* g_busy = nullptr;

} // namespace

TBusyProgress::TBusyProgress() = default;
TBusyProgress::~TBusyProgress()
{
    if (g_busy == this)
        g_busy = nullptr;
}

void TBusyProgress::SetCaption(const QString& caption)
{
    m_caption = caption;
    OnChanged();
}

void TBusyProgress::SetMaximum(qint64 maximum)
{
    m_maximum = maximum;
    OnChanged();
}

void TBusyProgress::SetPosition(qint64 position)
{
    m_position = position;
    OnChanged();
}

void TBusyProgress::SetProgress(qint64 position, qint64 maximum)
{
    if (!m_visible)
        return;
    const std::uint32_t now = (m_clock ? *m_clock : AppClock()).Now();
    if (now == m_lastProgressTick)
        return;
    m_lastProgressTick = now;
    m_barVisible = position >= 0 && maximum > 0;
    if (m_barVisible) {
        m_maximum = maximum;
        m_position = position;
    }
    OnChanged();
    ProcessEvents();
}

void TBusyProgress::Show()
{
    m_visible = true;
    OnShow();
}

void TBusyProgress::Hide()
{
    if (!m_visible)
        return;
    m_visible = false;
    OnHide();
}

TBusyProgress& AppBusy()
{
    return g_busy ? *g_busy : SilentBusy();
}

void SetAppBusy(TBusyProgress* busy)
{
    g_busy = busy;
}

TBusyScope::TBusyScope(TBusyProgress& busy, const QString& caption) : m_busy(busy)
{
    m_busy.SetCaption(caption);
    m_busy.Show();
}

TBusyScope::~TBusyScope()
{
    m_busy.Hide();
}
