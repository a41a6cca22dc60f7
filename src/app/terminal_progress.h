#pragma once

#include "settings/busy_progress.h"

#include <cstdint>

// The busy progress as a bar on one line of stderr, redrawn a few times a
// second and cleared when the work is done. Used only when stderr is a terminal.
class TTerminalProgress final : public TBusyProgress {
public:
    TTerminalProgress();

protected:
    void OnShow() override;
    void OnHide() override;
    void OnChanged() override;

private:
    void Draw(bool force);

    std::uint32_t m_lastDraw = 0;
    bool m_drawn = false;
};
