#include "app/ui/sheets/OnboardingSheet.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/sheets/SheetParts.h"
#include "app/ui/sheets/SheetSymbol.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tilebay {

namespace {

struct GuideRow {
    const char16_t* symbol;
    const char16_t* title;
    const char16_t* text;
};

constexpr GuideRow kRows[] = {
    {u"plus.rectangle.on.rectangle", u"새 내장 터미널",
     u"상단 \u2018새 터미널\u2019 또는 점선 \u2018+\u2019 셀로 앱 안에서 바로 셸/Claude Code 실행."},
    {u"circle.grid.cross", u"상태 표시",
     u"진행 중 \u00B7 멈춤 \u00B7 입력 대기(y/n\u00B7메뉴)를 작은 라인 아이콘과 색으로 구분. 색맹 대응 텍스트 병기."},
    {u"arrow.up.left.and.arrow.down.right", u"확대 / 드래그",
     u"헤더 확대 버튼으로 ~85% 확대(ESC\u00B7바깥 클릭 복귀). 셀을 끌어 위치 교환."},
    {u"rectangle.on.rectangle", u"iTerm2 흡수",
     u"설정에서 켜면 지금 열린 iTerm2 세션을 같은 그리드로 가져옵니다(기본 꺼짐). 첫 흡수 시 \u2018Cellwright이 "
     u"iTerm2를 제어\u2019 허용 필요(시스템 설정 \u2192 개인정보 보호 \u2192 자동화). 흡수 세션은 절대 종료하지 않고 "
     u"\u2018분리\u2019만 합니다."},
    {u"bolt", u"(옵션) 더 빠른 흡수",
     u"iTerm2 설정에서 \u2018Python API 허용\u2019을 켜고 iTerm2를 재시작한 뒤 설정에서 \u2018Python API 사용\u2019을 "
     u"켜면 더 빠르게 갱신됩니다. 꺼져 있어도 AppleScript로 정상 동작합니다."},
};

}  // namespace

OnboardingSheet::OnboardingSheet(QWidget* parent) : SheetDialog(parent)
{
    setWindowTitle(QStringLiteral("Cellwright"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 24, 24, 24);
    root->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    auto* mark = new SheetSymbol(QStringLiteral("square.grid.2x2"), 26, this);
    mark->setColour(DS::orange());
    header->addWidget(mark);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(new SheetText(QStringLiteral("Cellwright"), dsFont(20, QFont::DemiBold), false, this));
    titles->addWidget(new SheetText(QStringLiteral("여러 터미널을 한 그리드에서 관리"), dsFont(12), true, this));
    header->addLayout(titles, 1);
    root->addLayout(header);

    for (const GuideRow& row : kRows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(12);
        line->addWidget(new SheetSymbol(QString::fromUtf16(row.symbol), 18, this, 26), 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        texts->addWidget(new SheetText(QString::fromUtf16(row.title), dsFont(14, QFont::DemiBold), false, this));
        auto* explanation = new SheetText(QString::fromUtf16(row.text), dsFont(12), true, this);
        explanation->setWordWrap(true);
        texts->addWidget(explanation);
        line->addLayout(texts, 1);
        root->addLayout(line);
    }
    root->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    start_ = new DSPrimaryButton(QStringLiteral("시작하기"), this);
    bottom->addWidget(start_);
    root->addLayout(bottom);

    connect(start_, &QAbstractButton::clicked, this, [this] { dismiss(); });
    setDefaultAction([this] { dismiss(); });
    start_->setFocus(Qt::OtherFocusReason);
    setFixedSize(kWidth, kHeight);
}

}  // namespace tilebay
