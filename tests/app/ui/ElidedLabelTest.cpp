// The one-line label that cuts its tail: given the width it asks for, it
// shows its whole text in the fonts and weights the application uses, even
// where the text's advance is a fraction of a pixel over a whole number.
#include "app/ui/design/DSFont.h"
#include "app/ui/design/ElidedLabel.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace tilebay;

TEST(ElidedLabel, ShowsItsWholeTextAtTheWidthItAsksFor)
{
    test::uiApp();
    ElidedLabel label;
    for (const int size : {10, 11, 12, 13, 14})
        for (const QFont::Weight weight : {QFont::Normal, QFont::DemiBold, QFont::Bold})
            for (const QString& text : {QStringLiteral("RUN"), QStringLiteral("IDLE"), QStringLiteral("WAIT"),
                                        QStringLiteral("DONE"), QStringLiteral("shell"), QStringLiteral("빌드 서버")}) {
                label.setFont(dsFont(size, weight));
                label.setText(text);
                label.resize(label.sizeHint());
                EXPECT_EQ(label.displayedText().toStdString(), text.toStdString()) << size << " " << int(weight);
            }
    // Narrower than the text: the tail goes, an ellipsis shows it.
    label.setText(QStringLiteral("a long project name"));
    label.resize(label.sizeHint().width() / 2, label.height());
    EXPECT_TRUE(label.displayedText().endsWith(QChar(0x2026)));
}
