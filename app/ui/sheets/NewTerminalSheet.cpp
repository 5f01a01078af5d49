#include "app/ui/sheets/NewTerminalSheet.h"

#include "app/store/SessionStore.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/sheets/SheetField.h"
#include "app/ui/sheets/SheetParts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QVBoxLayout>

namespace tilebay {

namespace {

// A label above its content.
QWidget* field(const QString& label, QWidget* content, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    column->addWidget(new SheetText(label, dsFont(12, QFont::DemiBold), true, box));
    column->addWidget(content);
    return box;
}

// Keeps a field and one of the store's entry fields equal in both directions.
void bind(SheetField* field, SessionStore& store, const QString& (SessionStore::*get)() const,
          void (SessionStore::*set)(const QString&), void (SessionStore::*changed)(const QString&))
{
    field->setText((store.*get)());
    QObject::connect(field, &QLineEdit::textChanged, field, [&store, set](const QString& text) { (store.*set)(text); });
    QObject::connect(&store, changed, field, [field](const QString& text) {
        if (field->text() != text) field->setText(text);
    });
}

}  // namespace

NewTerminalSheet::NewTerminalSheet(SessionStore& store, FolderChooser chooser, QWidget* parent)
    : SheetDialog(parent), store_(store), chooser_(std::move(chooser))
{
    detachOnDismiss(&store_);
    setWindowTitle(QStringLiteral("새 터미널"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* title = new QWidget(this);
    auto* titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(16, 16, 16, 16);
    titleRow->addWidget(new SheetText(QStringLiteral("새 터미널"), dsFont(16, QFont::DemiBold), false, title));
    titleRow->addStretch(1);
    root->addWidget(title);
    root->addWidget(new SheetRule(this));

    auto* form = new QWidget(this);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(14);

    name_ = new SheetField(form);
    name_->setPlaceholderText(QStringLiteral("비우면 자동(Untitled-n)"));
    name_->setFont(dsFont(13));
    name_->setSubmit([this] { run([this] { create(); }); });
    column->addWidget(field(QStringLiteral("이름"), name_, form));

    auto* folderRow = new QWidget(form);
    auto* folderLayout = new QHBoxLayout(folderRow);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->setSpacing(8);
    folder_ = new SheetField(folderRow);
    folder_->setPlaceholderText(QStringLiteral("기본: 홈 폴더"));
    folder_->setFont(dsFont(12, QFont::Normal, FontDesign::monospaced));
    choose_ = new DSOutlineButton(QStringLiteral("선택…"), folderRow);
    folderLayout->addWidget(folder_, 1);
    folderLayout->addWidget(choose_);
    column->addWidget(field(QStringLiteral("작업 폴더"), folderRow, form));

    auto* commandBox = new QWidget(form);
    auto* commandColumn = new QVBoxLayout(commandBox);
    commandColumn->setContentsMargins(0, 0, 0, 0);
    commandColumn->setSpacing(5);
    command_ = new SheetField(commandBox);
    command_->setPlaceholderText(QStringLiteral("예: claude (비우면 셸만)"));
    command_->setFont(dsFont(12, QFont::Normal, FontDesign::monospaced));
    command_->setSubmit([this] { run([this] { create(); }); });
    commandColumn->addWidget(command_);
    commandColumn->addWidget(
        new SheetText(QStringLiteral("터미널이 열리면 이 명령이 자동 실행됩니다."), dsFont(11), true, commandBox));
    column->addWidget(field(QStringLiteral("시작 명령"), commandBox, form));

    saveAsProfile_ = new SheetCheckBox(QStringLiteral("이 설정을 프로필로 저장 (Ctrl+Shift+O로 재실행)"), form);
    saveAsProfile_->setFont(dsFont(12));
    column->addWidget(saveAsProfile_);
    root->addWidget(form);
    root->addWidget(new SheetRule(this));

    auto* buttons = new QWidget(this);
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(16, 16, 16, 16);
    buttonRow->addStretch(1);
    cancel_ = new DSOutlineButton(QStringLiteral("취소"), buttons);
    create_ = new DSPrimaryButton(QStringLiteral("만들기"), buttons);
    buttonRow->addWidget(cancel_);
    buttonRow->addWidget(create_);
    root->addWidget(buttons);

    bind(name_, store_, &SessionStore::newTerminalName, &SessionStore::setNewTerminalName,
         &SessionStore::newTerminalNameChanged);
    bind(folder_, store_, &SessionStore::newTerminalCwd, &SessionStore::setNewTerminalCwd,
         &SessionStore::newTerminalCwdChanged);
    bind(command_, store_, &SessionStore::newTerminalCommand, &SessionStore::setNewTerminalCommand,
         &SessionStore::newTerminalCommandChanged);

    connect(choose_, &QAbstractButton::clicked, this, [this] { run([this] { pickFolder(); }); });
    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss(); });
    connect(create_, &QAbstractButton::clicked, this, [this] { run([this] { create(); }); });
    setDefaultAction([this] { create(); });
    setCancelAction([this] { dismiss(); });

    name_->setFocus(Qt::OtherFocusReason);
    setFixedSize(kWidth, sizeHint().height());
}

void NewTerminalSheet::create()
{
    if (saveAsProfile_->isChecked()) {
        // The profile keeps folder and command as typed (the store drops
        // empty ones); they are trimmed when the profile is launched.
        QString name = store_.newTerminalName().trimmed();
        if (name.isEmpty()) name = QStringLiteral("프로필");
        store_.addProfile(name, store_.newTerminalCwd(), store_.newTerminalCommand());
    }
    store_.confirmNewTerminal();
    dismiss();
}

void NewTerminalSheet::pickFolder()
{
    if (!chooser_) return;
    QPointer<NewTerminalSheet> self(this);
    chooser_(this, [self](const QString& path) {
        if (self && !self->isDismissed()) self->store_.setNewTerminalCwd(path);
    });
}

}  // namespace tilebay
