// The store's state, settings, saving, start-up restore and status polling.
// The iTerm2 poll is in SessionStoreITerm2.cpp, the user actions in
// SessionStoreActions.cpp.
#include "app/store/SessionStore.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace tilebay {

namespace {

// How long a cell without any recorded activity counts as silent.
constexpr double kSilentSinceDistantPast = std::numeric_limits<double>::infinity();

std::optional<std::string> toStd(const std::optional<QString>& text)
{
    if (!text) return std::nullopt;
    return text->toStdString();
}

}  // namespace

SessionStore::SessionStore(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      embedded_(std::move(dependencies.embedded)),
      iterm2_(std::move(dependencies.iterm2)),
      classifier_(std::move(dependencies.classifier)),
      timer_(new QTimer(this)),
      runTimer_(dependencies.runTimer),
      clock_(std::move(dependencies.clock)),
      findTmux_(std::move(dependencies.findTmux))
{
    Q_ASSERT(embedded_);
    if (!iterm2_) iterm2_ = std::make_unique<ITerm2Adapter>();
    if (!classifier_) classifier_ = std::make_unique<StatusClassifier>();
    if (!clock_) clock_ = corvel::monotonicNanos;
    connect(timer_, &QTimer::timeout, this, &SessionStore::tick);

    // The callbacks reach the store only while it lives.
    QPointer<SessionStore> self(this);
    embedded_->onActivity = [self](const QString& id) {
        if (self) self->bumpRunning(id);
    };
    embedded_->onTerminated = [self](const QString& id) {
        if (self) self->handleTerminated(id);
    };

    restore();
    iterm2_->usePythonAPI = useITerm2PythonAPI_;
    startTimer();
    // First-run check, independent of the restore's result. An unreadable
    // file was set aside by the restore's read, so this read finds none.
    if (!layoutStore_.load()) setShowOnboarding(true);
}

SessionStore::~SessionStore()
{
    embedded_->onActivity = nullptr;
    embedded_->onTerminated = nullptr;
}

// ---- setters ----

void SessionStore::setExpandedID(const std::optional<QString>& id)
{
    if (id == expandedID_) return;
    expandedID_ = id;
    emit expandedIDChanged(expandedID_);
}

void SessionStore::setIsLiveResizing(bool value)
{
    if (value == isLiveResizing_) return;
    isLiveResizing_ = value;
    emit isLiveResizingChanged(value);
}

void SessionStore::setPollIntervalMs(qint64 ms)
{
    if (ms == pollIntervalMs_) return;
    pollIntervalMs_ = ms;
    emit pollIntervalMsChanged(ms);
}

void SessionStore::setIdleThresholdSec(qint64 seconds)
{
    if (seconds == idleThresholdSec_) return;
    idleThresholdSec_ = seconds;
    emit idleThresholdSecChanged(seconds);
}

void SessionStore::setAbsorbITerm2(bool value)
{
    if (value != absorbITerm2_) {
        absorbITerm2_ = value;
        emit absorbITerm2Changed(value);
    }
    if (value) queueITerm2Poll();
}

void SessionStore::setStripTitleTails(bool value)
{
    if (value == stripTitleTails_) return;
    stripTitleTails_ = value;
    emit stripTitleTailsChanged(value);
}

void SessionStore::setUseITerm2PythonAPI(bool value)
{
    if (value != useITerm2PythonAPI_) {
        useITerm2PythonAPI_ = value;
        emit useITerm2PythonAPIChanged(value);
    }
    iterm2_->usePythonAPI = value;
}

void SessionStore::setShowSettings(bool value)
{
    if (value == showSettings_) return;
    showSettings_ = value;
    emit showSettingsChanged(value);
}

void SessionStore::setShowOnboarding(bool value)
{
    if (value == showOnboarding_) return;
    showOnboarding_ = value;
    emit showOnboardingChanged(value);
}

void SessionStore::setAppearance(AppAppearance value)
{
    if (value != appearance_) {
        appearance_ = value;
        emit appearanceChanged(value);
    }
    persist();
}

void SessionStore::setTerminalTheme(TerminalTheme value)
{
    if (value != terminalTheme_) {
        terminalTheme_ = value;
        emit terminalThemeChanged(value);
    }
    embedded_->applyThemeToAll(terminalTheme_, terminalFontSize_);
    if (didRestore_) persist();
}

void SessionStore::setTerminalFontSize(double points)
{
    if (points != terminalFontSize_) {
        terminalFontSize_ = points;
        emit terminalFontSizeChanged(points);
    }
    embedded_->applyThemeToAll(terminalTheme_, terminalFontSize_);
    if (didRestore_) persist();
}

void SessionStore::setTmuxPersistence(bool value)
{
    if (value != tmuxPersistence_) {
        tmuxPersistence_ = value;
        emit tmuxPersistenceChanged(value);
    }
    embedded_->useTmux = value;
    if (didRestore_) persist();
}

bool SessionStore::tmuxAvailable()
{
    if (!tmuxAvailable_) tmuxAvailable_ = findTmux_ ? findTmux_() : false;
    return *tmuxAvailable_;
}

void SessionStore::setBroadcastMode(bool value)
{
    if (value == broadcastMode_) return;
    broadcastMode_ = value;
    emit broadcastModeChanged(value);
}

void SessionStore::setBroadcastTargets(QSet<QString> targets)
{
    if (targets == broadcastTargets_) return;
    broadcastTargets_ = std::move(targets);
    emit broadcastTargetsChanged();
}

void SessionStore::setProfiles(std::vector<TerminalProfile> profiles)
{
    if (profiles == profiles_) return;
    profiles_ = std::move(profiles);
    emit profilesChanged();
}

void SessionStore::setShowProfileLauncher(bool value)
{
    if (value == showProfileLauncher_) return;
    showProfileLauncher_ = value;
    emit showProfileLauncherChanged(value);
}

void SessionStore::setShowNewTerminalPrompt(bool value)
{
    if (value == showNewTerminalPrompt_) return;
    showNewTerminalPrompt_ = value;
    emit showNewTerminalPromptChanged(value);
}

void SessionStore::setNewTerminalName(const QString& text)
{
    if (text == newTerminalName_) return;
    newTerminalName_ = text;
    emit newTerminalNameChanged(text);
}

void SessionStore::setNewTerminalCwd(const QString& text)
{
    if (text == newTerminalCwd_) return;
    newTerminalCwd_ = text;
    emit newTerminalCwdChanged(text);
}

void SessionStore::setNewTerminalCommand(const QString& text)
{
    if (text == newTerminalCommand_) return;
    newTerminalCommand_ = text;
    emit newTerminalCommandChanged(text);
}

void SessionStore::setShowImport(bool value)
{
    if (value == showImport_) return;
    showImport_ = value;
    emit showImportChanged(value);
}

void SessionStore::setImportList(QList<ITerm2SessionSnapshot> list)
{
    if (list == importList_) return;
    importList_ = std::move(list);
    emit importListChanged();
}

void SessionStore::setImportLoading(bool value)
{
    if (value == importLoading_) return;
    importLoading_ = value;
    emit importLoadingChanged(value);
}

void SessionStore::setZoom(double value)
{
    if (value == zoom_) return;
    zoom_ = value;
    emit zoomChanged(value);
}

// ---- saving ----

LayoutDoc SessionStore::layoutDoc() const
{
    LayoutDoc doc;
    doc.version = 1;
    doc.cells.reserve(cells_.size());
    for (const auto& cell : cells_) {
        CellRecord record;
        record.internalId = cell->id().toStdString();
        record.adapterKind = cell->kind();
        record.externalRef = toStd(cell->externalRef());
        record.projectLabel = cell->projectLabel().toStdString();
        record.labelLockedByUser = cell->labelLockedByUser();
        record.cwd = toStd(cell->cwd());
        record.startCommand = toStd(cell->startCommand());
        doc.cells.push_back(std::move(record));
    }
    doc.assignGridPositions();
    // The period as the user set it: the timer's floor is not saved.
    doc.pollIntervalMs = pollIntervalMs_;
    doc.idleThresholdSec = idleThresholdSec_;
    doc.relaunchEmbeddedOnStart = true;
    doc.absorbITerm2 = absorbITerm2_;
    doc.stripTitleTails = stripTitleTails_;
    doc.useITerm2PythonAPI = useITerm2PythonAPI_;
    doc.appearance = std::string(toString(appearance_));
    doc.terminalTheme = std::string(toString(terminalTheme_));
    doc.terminalFontSize = terminalFontSize_;
    doc.tmuxPersistence = tmuxPersistence_;
    doc.profiles = profiles_;
    return doc;
}

void SessionStore::persist()
{
    if (!didRestore_) return;
    layoutStore_.save(layoutDoc());
}

// ---- start-up ----

void SessionStore::restore()
{
    const std::optional<LayoutDoc> doc = layoutStore_.load();
    if (!doc) {
        didRestore_ = true;
        return;
    }
    // Settings first, so that restored terminals start with the saved theme,
    // font size and tmux choice. None of these writes saves yet.
    setPollIntervalMs(std::max<qint64>(doc->pollIntervalMs, minPollIntervalMs));
    setIdleThresholdSec(doc->idleThresholdSec);
    setAbsorbITerm2(doc->absorbITerm2);  // true queues a poll, which runs after start-up
    setStripTitleTails(doc->stripTitleTails);
    setUseITerm2PythonAPI(doc->useITerm2PythonAPI);
    setAppearance(doc->appearance == "light"  ? AppAppearance::light
                  : doc->appearance == "dark" ? AppAppearance::dark
                                              : AppAppearance::system);
    setTerminalTheme(terminalThemeFromString(doc->terminalTheme).value_or(TerminalTheme::dark));
    setTerminalFontSize(doc->terminalFontSize);
    embedded_->theme = terminalTheme_;
    embedded_->fontSize = terminalFontSize_;
    setTmuxPersistence(doc->tmuxPersistence);
    setProfiles(doc->profiles);
    restoreCells(*doc);
    didRestore_ = true;
    // Cells given fresh ids keep them across the next start (and with them
    // the tmux sessions they make).
    if (doc->cellIdsReplaced) persist();
}

void SessionStore::restoreCells(const LayoutDoc& doc)
{
    bool added = false;
    for (const CellRecord& record : doc.cells) {
        switch (record.adapterKind) {
        case AdapterKind::embedded:
            if (!doc.relaunchEmbeddedOnStart) break;
            if (auto session = embedded_->restoreSession(record)) {
                cells_.push_back(std::move(session));
                added = true;
            }
            break;
        case AdapterKind::iterm2: {
            // A record without a session id (or with an empty one) can never
            // be matched to an iTerm2 session: dropped.
            if (!record.externalRef || record.externalRef->empty()) break;
            const QString id = QString::fromStdString(record.internalId);
            const QString guid = QString::fromStdString(*record.externalRef);
            auto session = std::make_shared<TerminalSession>(id, AdapterKind::iterm2, guid,
                                                             QString::fromStdString(record.projectLabel),
                                                             record.labelLockedByUser, std::nullopt, std::nullopt);
            iterm2_->idToGuid.insert(id, guid);
            cells_.push_back(std::move(session));
            added = true;
            break;
        }
        case AdapterKind::mock:
            break;
        }
    }
    if (added) emit cellsChanged();
}

// ---- polling ----

void SessionStore::startTimer()
{
    timer_->stop();
    timer_->setInterval(static_cast<int>(std::clamp<qint64>(pollIntervalMs_, minPollIntervalMs,
                                                            std::numeric_limits<int>::max())));
    if (runTimer_) timer_->start();
}

int SessionStore::timerIntervalMs() const { return timer_->interval(); }

bool SessionStore::timerActive() const { return timer_->isActive(); }

void SessionStore::tick()
{
    // A copy: nothing below changes the list, but the records stay alive.
    const std::vector<SessionPtr> current = cells_;
    bool anyITerm2 = false;
    for (const auto& cell : current) {
        if (cell->kind() == AdapterKind::iterm2) anyITerm2 = true;
        if (cell->kind() != AdapterKind::embedded) continue;
        const QString& id = cell->id();
        const QString text = embedded_->visibleText(id);
        double seconds = kSilentSinceDistantPast;
        if (const auto it = embedded_->lastActivity.constFind(id); it != embedded_->lastActivity.constEnd())
            seconds = static_cast<double>(now() - *it) / 1e9;
        const TerminalStatus status =
            classifier_->classify(text, seconds, static_cast<double>(idleThresholdSec_), cell->status());
        applyDebounced(*cell, status);
    }
    if (absorbITerm2_ || anyITerm2) queueITerm2Poll();
}

void SessionStore::applyDebounced(TerminalSession& session, TerminalStatus status)
{
    if (status == session.status()) {
        session.pendingStatus.reset();
        session.pendingCount = 0;
        return;
    }
    if (session.pendingStatus == status) {
        if (++session.pendingCount > 1) {
            session.pendingStatus.reset();
            session.pendingCount = 0;
            session.setStatus(status);
        }
        return;
    }
    session.pendingStatus = status;
    session.pendingCount = 1;
}

void SessionStore::bumpRunning(const QString& id)
{
    const SessionPtr found = cell(id);
    if (!found) return;
    if (found->status() == TerminalStatus::waiting || found->status() == TerminalStatus::running) return;
    found->pendingStatus.reset();
    found->pendingCount = 0;
    found->setStatus(TerminalStatus::running);
}

void SessionStore::handleTerminated(QString id)
{
    if (expandedID_ == id) setExpandedID(std::nullopt);
    removeCells(id);
    // The adapter keeps an ended cell until told: free its views, emulators
    // and scrollback now. A tmux cell is reported only once its session has
    // ended, so no session is left behind that no cell reaches.
    embedded_->forgetSession(id);
    persist();
}

void SessionStore::removeCells(const QString& id)
{
    const auto removed = std::erase_if(cells_, [&](const SessionPtr& c) { return c->id() == id; });
    if (removed > 0) emit cellsChanged();
}

void SessionStore::queueITerm2Poll()
{
    QMetaObject::invokeMethod(this, [this] { pollITerm2(); }, Qt::QueuedConnection);
}

// ---- lookups ----

SessionStore::SessionPtr SessionStore::cell(const QString& id) const
{
    for (const auto& c : cells_)
        if (c->id() == id) return c;
    return nullptr;
}

std::optional<qsizetype> SessionStore::index(const QString& id) const
{
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i]->id() == id) return static_cast<qsizetype>(i);
    return std::nullopt;
}

int SessionStore::paneCount(const QString& id) const
{
    return embedded_->paneCount(id);
}

}  // namespace tilebay
