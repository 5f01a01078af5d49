// One row of the profile launcher: the terminal symbol in orange, the
// profile's name over its one-line description, and the return symbol, on a
// rounded fill across the full width. It is a button: a click, or Space or
// Return while it holds the focus (it takes Tab), launches its profile;
// Return here is the row's own and never reaches the sheet's default action
// (the first match). Main thread; owned by the launcher's list.
#pragma once

#include "app/core/TerminalProfile.h"

#include <QAbstractButton>
#include <QFont>

namespace tilebay {

class ProfileRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit ProfileRow(TerminalProfile profile, QWidget* parent = nullptr);

    const TerminalProfile& profile() const { return profile_; }
    QString name() const { return name_; }
    QString subtitle() const { return subtitle_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TerminalProfile profile_;
    QString name_;
    QString subtitle_;
    QFont nameFont_;
    QFont subtitleFont_;
    int height_;
};

}  // namespace tilebay
