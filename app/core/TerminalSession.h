// One grid cell's session record. The grid, the store's lookups and the
// adapters share one instance per cell; views observe it through one change
// signal per published property (label, lock flag, status, preview, panes).
#pragma once

#include "app/core/AdapterKind.h"
#include "app/core/TerminalStatus.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tilebay {

class TerminalSession : public QObject {
    Q_OBJECT

public:
    TerminalSession(QString id, AdapterKind kind, std::optional<QString> externalRef,
                    QString projectLabel, bool labelLockedByUser, std::optional<QString> cwd,
                    std::optional<QString> startCommand, QObject* parent = nullptr);

    const QString& id() const { return id_; }
    AdapterKind kind() const { return kind_; }
    // For an iTerm2 cell, the iTerm2 session's unique id.
    const std::optional<QString>& externalRef() const { return externalRef_; }
    const std::optional<QString>& cwd() const { return cwd_; }
    const std::optional<QString>& startCommand() const { return startCommand_; }

    const QString& projectLabel() const { return projectLabel_; }
    void setProjectLabel(const QString& label);
    // True when the user chose the label; iTerm2 session names no longer replace it.
    bool labelLockedByUser() const { return labelLockedByUser_; }
    void setLabelLockedByUser(bool locked);
    TerminalStatus status() const { return status_; }
    void setStatus(TerminalStatus status);
    // Text shown by cells without live content (the last lines of an iTerm2 session).
    const QString& previewText() const { return previewText_; }
    void setPreviewText(const QString& text);
    // Raised by the embedded adapter whenever the cell's panes or split axis
    // change, so that views rebuild the cell's content.
    int paneRevision() const { return paneRevision_; }
    void setPaneRevision(int revision);

    // Debounce state of the store: the status seen on the last tick but not yet
    // committed, and how many consecutive ticks reported it. Not observed.
    std::optional<TerminalStatus> pendingStatus;
    int pendingCount = 0;

signals:
    void projectLabelChanged(const QString& label);
    void labelLockedByUserChanged(bool locked);
    void statusChanged(tilebay::TerminalStatus status);
    void previewTextChanged(const QString& text);
    void paneRevisionChanged(int revision);

private:
    const QString id_;
    const AdapterKind kind_;
    const std::optional<QString> externalRef_;
    const std::optional<QString> cwd_;
    const std::optional<QString> startCommand_;
    QString projectLabel_;
    bool labelLockedByUser_;
    TerminalStatus status_ = TerminalStatus::unknown;
    QString previewText_;
    int paneRevision_ = 0;
};

}  // namespace tilebay
