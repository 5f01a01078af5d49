#include "app/core/TerminalSession.h"

namespace tilebay {

TerminalSession::TerminalSession(QString id, AdapterKind kind, std::optional<QString> externalRef,
                                 QString projectLabel, bool labelLockedByUser,
                                 std::optional<QString> cwd, std::optional<QString> startCommand,
                                 QObject* parent)
    : QObject(parent),
      id_(std::move(id)),
      kind_(kind),
      externalRef_(std::move(externalRef)),
      cwd_(std::move(cwd)),
      startCommand_(std::move(startCommand)),
      projectLabel_(std::move(projectLabel)),
      labelLockedByUser_(labelLockedByUser)
{
}

// Observers hear of real changes only: writing the value a property already
// holds emits nothing.

void TerminalSession::setProjectLabel(const QString& label)
{
    if (label == projectLabel_) return;
    projectLabel_ = label;
    emit projectLabelChanged(projectLabel_);
}

void TerminalSession::setLabelLockedByUser(bool locked)
{
    if (locked == labelLockedByUser_) return;
    labelLockedByUser_ = locked;
    emit labelLockedByUserChanged(labelLockedByUser_);
}

void TerminalSession::setStatus(TerminalStatus status)
{
    if (status == status_) return;
    status_ = status;
    emit statusChanged(status_);
}

void TerminalSession::setPreviewText(const QString& text)
{
    if (text == previewText_) return;
    previewText_ = text;
    emit previewTextChanged(previewText_);
}

void TerminalSession::setPaneRevision(int revision)
{
    if (revision == paneRevision_) return;
    paneRevision_ = revision;
    emit paneRevisionChanged(paneRevision_);
}

}  // namespace tilebay
