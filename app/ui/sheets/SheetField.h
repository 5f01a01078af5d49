// A one-line text field of a sheet. With a submit action it takes Return
// itself and runs the action once per press; without one, Return passes on
// to the sheet, which runs its default action. Main thread; owned by its
// parent widget.
#pragma once

#include <QLineEdit>

#include <functional>

namespace tilebay {

class SheetField : public QLineEdit {
    Q_OBJECT
public:
    explicit SheetField(QWidget* parent = nullptr);

    void setSubmit(std::function<void()> submit) { submit_ = std::move(submit); }
    bool hasSubmit() const { return static_cast<bool>(submit_); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> submit_;
};

}  // namespace tilebay
