#include "app/adapters/iterm2/ITerm2Adapter.h"

#include "app/adapters/iterm2/ITerm2AppleScript.h"

namespace tilebay {

ITerm2Adapter::ITerm2Adapter() : ITerm2Adapter(std::make_unique<ITerm2PythonBridge>()) {}

ITerm2Adapter::ITerm2Adapter(std::unique_ptr<ITerm2PythonBridge> bridge)
    : bridge_(std::move(bridge)), self_(std::make_shared<ITerm2Adapter*>(this))
{
}

ITerm2Adapter::~ITerm2Adapter() = default;

QStringList ITerm2Adapter::sessionIds() const
{
    return idToGuid.keys();
}

bool ITerm2Adapter::hasSession(const QString& id) const
{
    return idToGuid.contains(id);
}

void ITerm2Adapter::sendText(const QString& id, const QString& text)
{
    const auto it = idToGuid.constFind(id);
    if (it != idToGuid.constEnd()) ITerm2AppleScript::sendText(*it, text);
}

void ITerm2Adapter::focus(const QString& id)
{
    const auto it = idToGuid.constFind(id);
    if (it == idToGuid.constEnd()) throw AdapterError::notFound(id.toStdString());
    if (usePythonAPI && bridge_->isAvailable()) bridge_->activate(*it);
    else ITerm2AppleScript::activate(*it);
}

void ITerm2Adapter::closeSession(const QString& id)
{
    idToGuid.remove(id);
}

QString ITerm2Adapter::visibleText(const QString& id) const
{
    const auto it = idToGuid.constFind(id);
    if (it == idToGuid.constEnd()) return {};
    return guidToContents.value(*it);
}

QWidget* ITerm2Adapter::cellContentView(const QString&)
{
    return nullptr;
}

void ITerm2Adapter::remember(const std::vector<ITerm2SessionSnapshot>& sessions)
{
    for (const auto& s : sessions) {
        guidToContents.insert(s.guid, s.contents);
        guidToName.insert(s.guid, s.name);
    }
}

void ITerm2Adapter::pollByAppleScript(PollHandler done)
{
    std::weak_ptr<ITerm2Adapter*> weak = self_;
    ITerm2AppleScript::snapshot([weak, done = std::move(done)](std::vector<ITerm2SessionSnapshot> sessions) {
        const auto self = weak.lock();
        if (!self) return;
        (*self)->remember(sessions);
        done(std::move(sessions));
    });
}

void ITerm2Adapter::poll(PollHandler done)
{
    if (usePythonAPI) {
        if (!bridgeChecked_) {
            bridgeChecked_ = true;
            bridge_->startIfNeeded();  // blocks up to the start time-out, once
        }
        if (bridge_->isAvailable()) {
            std::weak_ptr<ITerm2Adapter*> weak = self_;
            bridge_->snapshot([weak, done = std::move(done)](auto sessions) mutable {
                const auto self = weak.lock();
                if (!self) return;
                if (!sessions) {
                    (*self)->pollByAppleScript(std::move(done));
                    return;
                }
                (*self)->remember(*sessions);
                done(std::move(*sessions));
            });
            return;
        }
    }
    pollByAppleScript(std::move(done));
}

}  // namespace tilebay
