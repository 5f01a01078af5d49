#include "app/ui/toolbar/SessionToolbarStore.h"

namespace tilebay {

SessionToolbarStore::SessionToolbarStore(SessionStore& store, QObject* parent) : ToolbarStore(parent), store_(store)
{
    connect(&store, &SessionStore::cellsChanged, this, &ToolbarStore::changed);
    connect(&store, &SessionStore::pollIntervalMsChanged, this, &ToolbarStore::changed);
    connect(&store, &SessionStore::idleThresholdSecChanged, this, &ToolbarStore::changed);
    connect(&store, &SessionStore::broadcastModeChanged, this, &ToolbarStore::changed);
    connect(&store, &SessionStore::zoomChanged, this, &ToolbarStore::changed);
}

int SessionToolbarStore::cellCount() const
{
    return static_cast<int>(store_.cells().size());
}

}  // namespace tilebay
