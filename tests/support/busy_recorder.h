#pragma once

#include "settings/busy_progress.h"

#include <QString>
#include <QStringList>

// Records what long operations show: every show, hide and change, as text.
class TBusyRecorder final : public TBusyProgress {
public:
    TBusyRecorder();
    ~TBusyRecorder() override;

    QStringList events;
    int processEventsCalls = 0;
    qint64 maxPositionSeen = -1;
    void ProcessEvents() override { ++processEventsCalls; }

protected:
    void OnShow() override;
    void OnHide() override;
    void OnChanged() override;
};
