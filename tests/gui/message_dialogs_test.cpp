// The message dialog and the yes/no question: what each way of closing
// returns, the texts and look they show, and the layout (picture left of a
// wrapped text, buttons in a row at the bottom right).
#include "app/message_dialogs.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialog_look.h"
#include "app/message_layout.h"
#include "base/messages.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "gui_support.h"

namespace dravik::gui {
namespace {

using test::Button;
using test::WhenModal;

const QString kLong = QStringLiteral(
    "Insufficient free space on destination drive. Selected file/folder requires 12.345 MB size of free space. "
    "Press Yes if you want continue with it.");

// What the layout promises, checked on a shown dialog.
void ExpectMessageLayout(QDialog* d, const std::vector<QString>& captions) {
    QLabel* label = nullptr;
    for (auto* l : d->findChildren<QLabel*>())
        if (!qobject_cast<CPictureCtrl*>(l)) label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->width(), kMessageTextWidth);
    EXPECT_TRUE(label->wordWrap());

    auto* picture = d->findChild<CPictureCtrl*>();
    ASSERT_NE(picture, nullptr);
    EXPECT_LE(picture->geometry().right(), label->geometry().left()) << "the picture stands left of the text";

    int lastRight = -1;
    int row = -1;
    for (const auto& caption : captions) {
        QPushButton* b = Button(d, caption);
        ASSERT_NE(b, nullptr) << caption.toStdString();
        EXPECT_NE(qobject_cast<CPictureButton*>(b), nullptr) << caption.toStdString();
        EXPECT_GE(b->geometry().top(), label->geometry().bottom()) << "buttons under the text";
        if (row >= 0) {
            EXPECT_EQ(b->geometry().top(), row) << "buttons in one row";
        }
        row = b->geometry().top();
        EXPECT_GT(b->geometry().left(), lastRight) << "buttons left to right in their order";
        lastRight = b->geometry().right();
        EXPECT_GE(b->width(), b->sizeHint().width()) << "caption not cut";
    }
    EXPECT_GE(lastRight, d->width() - 30) << "buttons end at the right edge";
    EXPECT_GE(row + Button(d, captions.back())->height(), d->height() - 30) << "buttons at the bottom";
}

// The dialog's own background, painted, is white.
bool PaintsWhite(QDialog* d) {
    const QImage shot = d->grab().toImage();
    return d->palette().color(QPalette::Window) == Qt::white && d->autoFillBackground() &&
           shot.pixelColor(3, 3) == QColor(Qt::white) && shot.pixelColor(shot.width() - 4, shot.height() / 2) == QColor(Qt::white);
}

TEST(ViewQuestionMsg, EveryWayOfClosingButYesIsNo) {
    struct Case {
        const char* name;
        std::function<void(QDialog*)> act;
        int expected;
    };
    const std::vector<Case> cases = {
        {"Yes", [](QDialog* d) { Button(d, QStringLiteral("&Yes"))->click(); }, 1},
        {"No", [](QDialog* d) { Button(d, QStringLiteral("&No"))->click(); }, 2},
        {"Esc", [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }, 2},
        {"close box", [](QDialog* d) { d->close(); }, 2},
        {"Alt+Y", [](QDialog* d) { QTest::keyClick(d, Qt::Key_Y, Qt::AltModifier); }, 1},
        {"Alt+N", [](QDialog* d) { QTest::keyClick(d, Qt::Key_N, Qt::AltModifier); }, 2},
    };
    for (const auto& c : cases) {
        ViewQuestionMsg q(QString::fromUtf8(base::msg::kExitQuestion));
        WhenModal(c.act);
        EXPECT_EQ(q.exec(), c.expected) << c.name;
    }
}

TEST(ViewQuestionMsg, ShowsItsTextTitleAndLook) {
    ViewQuestionMsg q(kLong);
    bool checked = false;
    WhenModal([&](QDialog* d) {
        checked = true;
        EXPECT_EQ(d, &q);
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8(base::msg::kAppTitle));
        EXPECT_TRUE(PaintsWhite(d));
        EXPECT_EQ(q.text(), kLong);
        ExpectMessageLayout(d, {QStringLiteral("&Yes"), QStringLiteral("&No")});
        QLabel* label = nullptr;
        for (auto* l : d->findChildren<QLabel*>())
            if (l->text() == kLong) label = l;
        ASSERT_NE(label, nullptr);
        EXPECT_GT(label->height(), 2 * label->fontMetrics().height()) << "a long text wraps";
        auto* picture = d->findChild<CPictureCtrl*>();
        EXPECT_EQ(picture->HasPicture(), QFile::exists(ImageFolder() + QStringLiteral("/Question.bmp")));
        auto* yes = qobject_cast<CPictureButton*>(Button(d, QStringLiteral("&Yes")));
        EXPECT_EQ(yes->HasPicture(), QFile::exists(ImageFolder() + QStringLiteral("/Yes.bmp")));
        test::SaveShot(d, "question");
        Button(d, QStringLiteral("&No"))->click();
    });
    EXPECT_EQ(q.exec(), 2);
    EXPECT_TRUE(checked);
}

TEST(ViewMsgBox, OkOrAnyCloseReturnsAndTheTextIsShownAsTheScreenShowsIt) {
    // The system's texts double an '&' that is shown once.
    ViewMsgBox box(QStringLiteral("Switching to Advance Mode for Lost files && folders. This will take long time."));
    EXPECT_EQ(box.text(), QStringLiteral("Switching to Advance Mode for Lost files & folders. This will take long time."));
    WhenModal([&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8(base::msg::kAppTitle));
        EXPECT_TRUE(PaintsWhite(d));
        ExpectMessageLayout(d, {QStringLiteral("&OK")});
        EXPECT_EQ(d->findChild<CPictureCtrl*>()->HasPicture(),
                  QFile::exists(ImageFolder() + QStringLiteral("/Information.bmp")));
        test::SaveShot(d, "msg-box");
        Button(d, QStringLiteral("&OK"))->click();
    });
    box.exec();
    EXPECT_FALSE(box.isVisible());

    ViewMsgBox esc(QStringLiteral("<b>not markup</b>"));
    EXPECT_EQ(esc.text(), QStringLiteral("<b>not markup</b>"));
    WhenModal([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    esc.exec();
    EXPECT_FALSE(esc.isVisible());
}

TEST(MessageDialogs, MissingPicturesLeaveTheControlsBlank) {
    const QByteArray saved = qgetenv("DRAVIK_IMAGE_DIR");
    QTemporaryDir empty;
    qputenv("DRAVIK_IMAGE_DIR", empty.path().toLocal8Bit());
    int answer = 0;
    {
        ViewQuestionMsg q(QStringLiteral("Still asks?"));
        EXPECT_FALSE(q.findChild<CPictureCtrl*>()->HasPicture());
        EXPECT_FALSE(qobject_cast<CPictureButton*>(Button(&q, QStringLiteral("&Yes")))->HasPicture());
        WhenModal([](QDialog* d) { Button(d, QStringLiteral("&Yes"))->click(); });
        answer = q.exec();
    }
    qputenv("DRAVIK_IMAGE_DIR", saved);
    EXPECT_EQ(answer, 1);
}

TEST(MessageDialogs, ShowMessageAndAskQuestionOpenOverTheirParent) {
    QWidget page;
    page.show();
    QString seen;
    QWidget* parent = nullptr;
    WhenModal([&](QDialog* d) {
        seen = qobject_cast<ViewMsgBox*>(d) ? qobject_cast<ViewMsgBox*>(d)->text() : QString();
        parent = d->parentWidget();
        Button(d, QStringLiteral("&OK"))->click();
    });
    ShowMessage(&page, "Saving completed successfully.");
    EXPECT_EQ(seen, QStringLiteral("Saving completed successfully."));
    EXPECT_EQ(parent, &page);

    WhenModal([&](QDialog* d) {
        seen = qobject_cast<ViewQuestionMsg*>(d) ? qobject_cast<ViewQuestionMsg*>(d)->text() : QString();
        Button(d, QStringLiteral("&Yes"))->click();
    });
    EXPECT_EQ(AskQuestion(&page, base::msg::kExitQuestion), 1);
    EXPECT_EQ(seen, QString::fromUtf8(base::msg::kExitQuestion));
    WhenModal([](QDialog* d) { d->reject(); });
    EXPECT_EQ(AskQuestion(nullptr, "Do you want to stop this process."), 2);
}

}  // namespace
}  // namespace dravik::gui
