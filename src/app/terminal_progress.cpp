#include "app/terminal_progress.h"

#include "settings/tick_clock.h"

#include <cstdio>
#include <string>

TTerminalProgress::TTerminalProgress() = default;

void TTerminalProgress::OnShow()
{
    Draw(true);
}

void TTerminalProgress::OnHide()
{
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    m_drawn = false;
}

void TTerminalProgress::OnChanged()
{
    Draw(false);
}

void TTerminalProgress::Draw(bool force)
{
    if (!IsVisible())
        return;
    const std::uint32_t now = AppClock().Now();
    if (!force && m_drawn && TicksSince(m_lastDraw, now) < 100)
        return;
    m_lastDraw = now;
    std::string line = "\r\033[K" + Caption().toStdString();
    if (BarVisible() && Maximum() > 0) {
        const double fraction = std::min(1.0, std::max(0.0, double(Position()) / double(Maximum())));
        const int width = 30;
        const int filled = static_cast<int>(fraction * width + 0.5);
        line += " [" + std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(width - filled), ' ')
            + "] " + std::to_string(static_cast<int>(fraction * 100 + 0.5)) + "%";
    }
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}
