#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/MessageBox.h"
#include "controls/SkinButton.h"
#include "controls/SkinStatic.h"
#include "controls/SlotMessages.h"
#include "res/StringTable.h"

namespace {

struct Received {
    QEvent::Type type;
    int index;
    bool hasPath;
    QString path;
};

// The main window's stand-in: records every slot message, in order, with
// the boxes shown in between.
class SlotWindow : public QWidget {
public:
    std::vector<Received> messages;
    std::vector<int> boxes;
    int boxesBeforeDrop = -1;
    CSkinButton* hoverOffOnDrop = nullptr;

protected:
    bool event(QEvent* e) override {
        if (e->type() == WM_SLOT_DRAGENTER || e->type() == WM_SLOT_DRAGLEAVE || e->type() == WM_SLOT_DROP) {
            const auto* m = static_cast<SlotMessageEvent*>(e);
            const QString* path = m->PathAddress();
            messages.push_back({e->type(), m->IndexAddress() ? *m->IndexAddress() : -1, path != nullptr,
                                path ? *path : QString()});
            if (e->type() == WM_SLOT_DROP) {
                boxesBeforeDrop = static_cast<int>(boxes.size());
                if (hoverOffOnDrop) {
                    hoverOffOnDrop->SetHover(false);
                }
            }
            return true;
        }
        return QWidget::event(e);
    }
};

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(300, 100);
        label = new CSkinStatic(&window);  // owned by window
        label->setGeometry(10, 10, 200, 19);
        button = new CSkinButton(&window);
        button->setGeometry(220, 10, 25, 25);
        button->UpdateRegions();  // as the owner does after placing it
        label->SetIndex(5);
        button->SetIndex(5);
        ASSERT_TRUE(label->Register(label));
        ASSERT_TRUE(button->Register(button));
    }

    static std::unique_ptr<QMimeData> Files(const QStringList& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& p : paths) {
            urls.append(QUrl::fromLocalFile(p));
        }
        data->setUrls(urls);
        return data;
    }

    // Enter, move, then drop at point; returns whether the drop was taken.
    bool DragAndDrop(QWidget* target, const QMimeData* data, QPoint point = {5, 5}) {
        QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDragMoveEvent move(point, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &move);
        EXPECT_TRUE(move.isAccepted());
        QDropEvent drop(QPointF(point), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    ScopedMessageResponder boxes{[this](const MessageRequest& r) {
        window.boxes.push_back(r.stringId);
        EXPECT_EQ(r.text, QStringLiteral("Multiple files are selected."));
        EXPECT_EQ(r.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        return QMessageBox::Ok;
    }};
    SlotWindow window;
    CSkinStatic* label = nullptr;
    CSkinButton* button = nullptr;
};

}  // namespace

TEST_F(DropTargetTest, OneFileDeliversItsFullPath) {
    const QString longPath = QStringLiteral("/tmp/") + QString(300, QLatin1Char('a')) + QStringLiteral("/voice.wav");
    const auto data = Files({longPath});
    EXPECT_TRUE(DragAndDrop(label, data.get()));
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].type, WM_SLOT_DRAGENTER);
    EXPECT_EQ(window.messages[0].index, 5);
    EXPECT_FALSE(window.messages[0].hasPath);
    EXPECT_EQ(window.messages[1].type, WM_SLOT_DROP);
    EXPECT_EQ(window.messages[1].index, 5);
    EXPECT_EQ(window.messages[1].path, longPath);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DropTargetTest, AnythingButOneLocalFileShowsTheBoxThenSendsAnEmptyPath) {
    std::vector<std::unique_ptr<QMimeData>> drops;
    drops.push_back(Files({QStringLiteral("/tmp/a.wav"), QStringLiteral("/tmp/b.wav")}));
    drops.push_back(std::make_unique<QMimeData>());
    drops.back()->setText(QStringLiteral("just text"));
    drops.push_back(std::make_unique<QMimeData>());
    drops.back()->setUrls({QUrl(QStringLiteral("https://example.org/voice.wav"))});
    drops.push_back(std::make_unique<QMimeData>());  // carries nothing at all
    for (const auto& data : drops) {
        window.messages.clear();
        window.boxes.clear();
        EXPECT_TRUE(DragAndDrop(button, data.get()));
        ASSERT_EQ(window.messages.size(), 2u);
        EXPECT_EQ(window.messages[1].type, WM_SLOT_DROP);
        EXPECT_TRUE(window.messages[1].hasPath);
        EXPECT_TRUE(window.messages[1].path.isEmpty());
        EXPECT_EQ(window.boxes, std::vector<int>{IdsMultipleFiles});
        EXPECT_EQ(window.boxesBeforeDrop, 1) << "the box comes before the drop message";
    }
}

TEST_F(DropTargetTest, CancelledDragGivesExactlyOneEnterAndOneLeave) {
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(label, &enter);
    for (int i = 0; i < 3; ++i) {
        QDragMoveEvent move(QPoint(6 + i, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(label, &move);
    }
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(label, &leave);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].type, WM_SLOT_DRAGENTER);
    EXPECT_EQ(window.messages[1].type, WM_SLOT_DRAGLEAVE);
    EXPECT_EQ(window.messages[1].index, 5);
}

TEST_F(DropTargetTest, ButtonShowsHoverAfterTheParentHandledADropInsideIt) {
    window.hoverOffOnDrop = button;
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    EXPECT_TRUE(DragAndDrop(button, data.get(), QPoint(12, 12)));
    EXPECT_TRUE(button->IsHoverSet());
    button->SetHover(false);
    EXPECT_TRUE(DragAndDrop(button, data.get(), QPoint(40, 12)));  // outside its rectangle
    EXPECT_FALSE(button->IsHoverSet());
}

TEST_F(DropTargetTest, UnregisteredOrOrphanControlsSendNothing) {
    CSkinStatic loose(&window);
    const auto data = Files({QStringLiteral("/tmp/a.wav")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&loose, &enter);
    EXPECT_FALSE(enter.isAccepted());

    CSkinStatic orphan;
    ASSERT_TRUE(orphan.Register(&orphan));
    QDragEnterEvent enter2(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&orphan, &enter2);
    EXPECT_TRUE(enter2.isAccepted()) << "enter still reports the drop action";
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(&orphan, &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_FALSE(label->Register(nullptr));
}

TEST(DropAction, CopyIsPreferredSoTheSourceNeverDeletesTheFile) {
    EXPECT_EQ(CFileDropTarget::ChooseDropAction(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction),
              Qt::CopyAction);
    EXPECT_EQ(CFileDropTarget::ChooseDropAction(Qt::LinkAction, Qt::LinkAction), Qt::LinkAction);
}

TEST(MessageHook, ResponderAnswersAndIsRestored) {
    std::vector<MessageRequest> seen;
    {
        ScopedMessageResponder outer([&](const MessageRequest& r) {
            seen.push_back(r);
            return QMessageBox::Yes;
        });
        EXPECT_EQ(ShowMessage(nullptr, IdsReplaceFile, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Question),
                  QMessageBox::Yes);
        {
            ScopedMessageResponder inner([](const MessageRequest&) { return QMessageBox::No; });
            EXPECT_EQ(ShowMessage(nullptr, IdsReplaceFile, QMessageBox::Yes | QMessageBox::No), QMessageBox::No);
        }
        EXPECT_EQ(ShowMessage(nullptr, IdsLoadError), QMessageBox::Yes);
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, QStringLiteral("File already exists. Do you really want to replace it?"));
    EXPECT_EQ(seen[0].icon, QMessageBox::Question);
    EXPECT_EQ(seen[1].stringId, IdsLoadError);
}
