#include "support/busy_recorder.h"

TBusyRecorder::TBusyRecorder()
{
    SetAppBusy(this);
}

TBusyRecorder::~TBusyRecorder()
{
    SetAppBusy(nullptr);
}

void TBusyRecorder::OnShow()
{
    events.append(QStringLiteral("show %1").arg(Caption()));
}

void TBusyRecorder::OnHide()
{
    events.append(QStringLiteral("hide %1").arg(Caption()));
}

void TBusyRecorder::OnChanged()
{
    if (Position() > maxPositionSeen)
        maxPositionSeen = Position();
}
